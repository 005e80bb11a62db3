#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {

// One localized text in both languages, each at most 255 bytes and a NUL.
struct StringEntry {
    char english[256];
    char chinese[256]; // GBK (code page 936) bytes
};

// The user-interface texts of the effect in English and Simplified Chinese. Asks
// the host for its language once, at construction; lookups then answer in that
// language. Texts handed out stay valid for the life of the table.
class StringTable {
public:
    static constexpr int kLanguageCount = 8;
    static const char* const languageCodes[kLanguageCount];

    // Asks the host for its language tag; throws 13 without "PF AE App Suite" v7.
    static std::int32_t hostLanguageIndex(const PF_InData* in_data);

    explicit StringTable(const PF_InData* in_data);
    // A table for a known language index, without asking a host.
    explicit StringTable(std::int32_t languageIndex);
    ~StringTable();

    StringTable(const StringTable&) = delete;
    StringTable& operator=(const StringTable&) = delete;

    void insert(const char* key, const char* english, const char* chinese);
    const char* lookup(const char* key) const;

    std::int32_t languageIndex() const { return languageIndex_; }

private:
    void fill();

    std::int32_t languageIndex_;
    std::map<std::string, std::unique_ptr<StringEntry>> entries_;
};

// Copies at most 255 bytes of a text into a 256-byte field, cutting on a
// character boundary of the text's encoding (UTF-8 or GBK), and NUL-terminates it.
void copyTextField(char (&field)[256], const char* text, bool gbk);

} // namespace Solvane
} // namespace Tamrin
