#include "host/StringTable.h"

#include <cstring>

#include "host/SuiteHolder.h"

namespace Tamrin {
namespace Solvane {

const char* const StringTable::languageCodes[kLanguageCount] = {"zh_CN", "en_US", "fr_FR", "de_DE",
                                                                 "it_IT", "ja_JP", "ko_KR", "es_ES"};

namespace {

constexpr std::int32_t kChinese = 0;
constexpr std::int32_t kEnglishFallback = 1;

struct BuiltInRow {
    const char* key;
    const char* english;
    const char* chinese;
};

// The Chinese texts are written as their GBK bytes, which is what the host expects.
const BuiltInRow kBuiltInRows[] = {
    {"Threshold", "Threshold", "\xB7\xA2\xB9\xE2\xC7\xF8\xD3\xF2"},
    {"Threshold Smooth", "Threshold Smooth", "\xB7\xA2\xB9\xE2\xC7\xF8\xD3\xF2\xC6\xBD\xBB\xAC"},
    {"Center", "Center", "\xD6\xD0\xD0\xC4"},
    {"Shine Length", "Shine Length", "\xB9\xE2\xCF\xDF\xB3\xA4\xB6\xC8"},
    {"Exposure", "Exposure", "\xB9\xE2\xCF\xDF\xC7\xBF\xB6\xC8"},
    {"Quality", "Quality", "\xE4\xD6\xC8\xBE\xD6\xCA\xC1\xBF"},
    {"kQuality", "High - Slow|Medium|Low - Fast",
     "\xB8\xDF-\xE4\xD6\xC8\xBE\xC2\xFD|\xD6\xD0|\xB5\xCD-\xE4\xD6\xC8\xBE\xBF\xEC"},
    {"Ray Only", "Ray Only", "\xD6\xBB\xCF\xD4\xCA\xBE\xB9\xE2\xCF\xDF"},
};

bool nonEmpty(const char* text) { return text != nullptr && text[0] != '\0'; }

// Length of the longest prefix of at most `limit` bytes that ends on a character boundary.
std::size_t boundaryLength(const char* text, std::size_t limit, bool gbk)
{
    std::size_t length = 0;
    while (text[length] != '\0') {
        const auto lead = static_cast<unsigned char>(text[length]);
        std::size_t width = 1;
        if (gbk) {
            if (lead >= 0x81 && lead <= 0xFE && text[length + 1] != '\0') {
                width = 2;
            }
        } else if (lead >= 0xC0) {
            width = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            for (std::size_t i = 1; i < width; ++i) {
                if ((static_cast<unsigned char>(text[length + i]) & 0xC0) != 0x80) {
                    width = i; // a broken sequence ends where it breaks
                    break;
                }
            }
        }
        if (length + width > limit) {
            break;
        }
        length += width;
    }
    return length;
}

} // namespace

void copyTextField(char (&field)[256], const char* text, bool gbk)
{
    std::memset(field, 0, sizeof field);
    const std::size_t length = boundaryLength(text, sizeof field - 1, gbk);
    std::memcpy(field, text, length);
}

std::int32_t StringTable::hostLanguageIndex(const PF_InData* in_data)
{
    SuiteHolder app(in_data, kPFAppSuite, kPFAppSuiteVersion7);
    char tag[6] = {0, 0, 0, 0, 0, 0};
    app.get<PFAppSuite7>()->PF_AppGetLanguage(tag);
    for (std::int32_t index = 0; index < kLanguageCount; ++index) {
        if (std::memcmp(tag, languageCodes[index], sizeof tag) == 0) {
            return index;
        }
    }
    return kEnglishFallback;
}

StringTable::StringTable(const PF_InData* in_data) : languageIndex_(hostLanguageIndex(in_data)) { fill(); }

StringTable::StringTable(std::int32_t languageIndex) : languageIndex_(languageIndex) { fill(); }

StringTable::~StringTable() = default;

void StringTable::fill()
{
    for (const BuiltInRow& row : kBuiltInRows) {
        insert(row.key, row.english, row.chinese);
    }
}

void StringTable::insert(const char* key, const char* english, const char* chinese)
{
    auto found = entries_.find(key);
    StringEntry* entry = nullptr;
    std::unique_ptr<StringEntry> created;
    if (found != entries_.end()) {
        entry = found->second.get();
    } else {
        created = std::make_unique<StringEntry>();
        std::memset(created.get(), 0, sizeof(StringEntry));
        entry = created.get();
    }

    if (nonEmpty(english)) {
        copyTextField(entry->english, english, false);
        if (nonEmpty(chinese)) {
            copyTextField(entry->chinese, chinese, true);
        } else {
            copyTextField(entry->chinese, english, false);
        }
    } else if (nonEmpty(chinese) && languageIndex_ == kChinese) {
        copyTextField(entry->chinese, chinese, true);
    }

    if (created) {
        entries_.emplace(key, std::move(created));
    }
}

const char* StringTable::lookup(const char* key) const
{
    const auto found = entries_.find(key);
    if (found == entries_.end()) {
        return key;
    }
    const StringEntry& entry = *found->second;
    if (languageIndex_ == kChinese && entry.chinese[0] != '\0') {
        return entry.chinese;
    }
    return entry.english;
}

} // namespace Solvane
} // namespace Tamrin
