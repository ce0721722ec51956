#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class SHCM;

// A dictionary file: a header of escaped "name=value" lines ended by one NUL, then entries
// "word LF sense NUL" sorted by canonical word. Nothing throws; a failing operation returns
// false and leaves its message in getError().
class Dictionary {
public:
    // Always returns an object (caller owns it); check getError() before use.
    static Dictionary *create(const char *path);
    virtual ~Dictionary();

    virtual std::string getName() const = 0;
    // Makes the entry for word, or the closest one after it, current. True when an entry
    // with the same canonical word was met; prefix tells whether the current canonical word
    // begins with the canonical query (unchanged when a read fails).
    virtual bool findEntry(const std::string &word, bool &prefix) = 0;
    virtual bool nextEntry() = 0;
    virtual bool firstEntry() = 0;
    virtual bool lastEntry() = 0;
    virtual bool randomEntry() = 0;
    virtual std::string getWord() const = 0;
    virtual std::string getSense() const = 0; // decoded on first request
    virtual std::string getError() const = 0;
    // Writes the dictionary anew; method "shcm" compresses, sort orders by canonical word.
    virtual bool xerox(const std::string &fileName, const std::string &method, bool sort) = 0;
    virtual bool xerox(int fd, const std::string &method, bool sort) = 0;

protected:
    Dictionary() = default;
    Dictionary(const Dictionary &) = delete;
    Dictionary &operator=(const Dictionary &) = delete;
};

class DictImpl : public Dictionary {
public:
    static constexpr char DATA_DELIMITER = '\0';
    static constexpr char WORD_DELIMITER = '\n';

    struct IndexEntry {
        std::string word; // canonical form
        int32_t pos;      // absolute file offset of the entry
    };

    explicit DictImpl(const char *path);
    ~DictImpl() override;

    std::string getName() const override;
    bool findEntry(const std::string &word, bool &prefix) override;
    bool nextEntry() override;
    bool firstEntry() override;
    bool lastEntry() override;
    bool randomEntry() override;
    std::string getWord() const override;
    std::string getSense() const override;
    std::string getError() const override;
    bool xerox(const std::string &fileName, const std::string &method, bool sort) override;
    bool xerox(int fd, const std::string &method, bool sort) override;

    // ESC (0x1B) escaping: NUL -> ESC '0', LF -> ESC 'n', ESC -> ESC 'e'.
    static std::string escape(const std::string &text);
    // Inverse of escape; an ESC before any other byte is dropped with it, a final ESC too.
    static std::string unescape(const std::string &text);
    static int compare(const std::string &a, const std::string &b);

    std::string canonizeWord(const std::string &word) const;
    bool checkIntegrity();

    // Read-only views for tools and tests.
    const std::map<std::string, std::string> &getProperties() const { return properties; }
    const std::vector<IndexEntry> &getIndex() const { return index; }
    int32_t getDataStart() const { return dataStart; }
    int32_t getLastEntryPos() const { return lastEntryPos; }
    int32_t getCurrentPos() const { return currentPos; }
    int getMaxEntryLength() const { return maxEntryLength; }
    bool isCompressed() const { return compressor != nullptr; }
    // True when the last xerox failed on its output (creating, writing or closing it, or it
    // is this very file) rather than on reading this dictionary.
    bool failedWriting() const { return writeFailed; }

private:
    void openFile(const char *path);
    bool writeCopy(int ofd, const std::string &method, bool sort);
    bool readEntry(int32_t pos);
    int32_t findPrev(int32_t pos);
    int32_t findNext(int32_t pos);
    void bsearchIndex(const std::string &canon, int32_t &from, int32_t &to) const;
    bool readProperties();
    int getLine(std::string &line);
    void setError(const std::string &text) { error = text; }
    void setSystemError(int err);
    std::string &property(const std::string &name) { return properties[name]; }
    std::string decodeStored(const std::string &stored) const;
    ssize_t readAt(int64_t offset, char *buf, size_t n); // pread, served from window when held
    void loadWindow(int32_t from, int32_t to);

    int fd = -1;
    int32_t dataStart = 0;
    int32_t lastEntryPos = 0;
    std::string error;
    std::string name;
    std::vector<std::string> ignoreChars;
    int maxEntryLength = 16384;
    std::vector<char> buffer; // entry read buffer (see readEntry for its size)
    std::string word;
    mutable std::string sense;
    mutable bool senseEncoded = false;
    int32_t currentPos = 0;
    int32_t nextPos = -1;
    std::vector<IndexEntry> index;
    std::map<std::string, std::string> properties;
    std::unique_ptr<SHCM> compressor;

    int64_t fileSize = 0;     // size when opened
    int64_t readOffset = 0;   // header reading position (getLine)
    std::vector<char> window; // a copy of the file from windowStart, at most 256 KiB
    int64_t windowStart = -1; // -1: no window held
    bool writeFailed = false;
};
