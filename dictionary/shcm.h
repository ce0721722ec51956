#pragma once

#include <cstdint>
#include <string>

// Static-Huffman compressor of dictionary words and senses: one code per file, described
// by its code lengths only ("shcm-tree").
class SHCM {
public:
    static SHCM *create(); // caller owns the result
    virtual ~SHCM() = default;

    // Loads a packed code-length table. Returns false, leaving the decoder without a code,
    // when the table is damaged or its code is not complete (one symbol of length 1 excepted);
    // a table over 1024 bytes is ignored (state unchanged).
    virtual bool startDecode(const std::string &tree) = 0;
    virtual void endDecode() = 0;
    virtual void startPreEncode() = 0;
    // Builds the code from the counted bytes and returns the packed table (4 bytes a word);
    // with nothing counted, a code of the byte 0 alone.
    virtual std::string endPreEncode() = 0;
    virtual void preencode(const std::string &text) = 0;
    virtual std::string encode(const std::string &text) = 0;
    // Never reads outside text; damaged input yields the symbols decoded before the damage.
    virtual std::string decode(const std::string &text) = 0;

protected:
    SHCM() = default;
    SHCM(const SHCM &) = delete;
    SHCM &operator=(const SHCM &) = delete;
};

class SHCMImpl : public SHCM {
public:
    SHCMImpl();

    bool startDecode(const std::string &tree) override;
    void endDecode() override;
    void startPreEncode() override;
    std::string endPreEncode() override;
    void preencode(const std::string &text) override;
    std::string encode(const std::string &text) override;
    std::string decode(const std::string &text) override;

    // Code length of a byte value in the current code (0 = not in use); for tests and tools.
    int codeLength(uint8_t byte) const { return lengths[byte]; }
    int codeValue(uint8_t byte) const { return codes[byte]; }

private:
    bool buildDecodeTables(int n);

    uint32_t freq[256];
    uint8_t symbols[256];
    uint8_t lengths[256];
    uint8_t codes[256];
    uint8_t zeroRuns[256];
    uint8_t firstCode[32];
    uint8_t firstIndex[32];
    uint8_t minLength[256];
    uint32_t packedTree[256];
    uint16_t countOfLength[32]; // symbols per length: guards decoding of damaged text
    int symbolCount;            // n of the loaded or built code
    int maxLength;              // longest code length in use, 0 without a code
};
