#include "SettingsDlg.h"

SettingsDlg::SettingsDlg(QWidget *parent, const char *name)
    : QWidget(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setFocusPolicy(Qt::StrongFocus);
}

void SettingsDlg::acceptChanges()
{
}
