#include "cli/Manual.h"

#include <cctype>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "cli/Commands.h"
#include "cli/RenderOptions.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

std::vector<std::string> words(const std::string& text)
{
    std::istringstream stream(text);
    std::vector<std::string> result;
    for (std::string word; stream >> word;) {
        result.push_back(word);
    }
    return result;
}

std::string joined(const std::vector<std::string>& list, const std::string& separator)
{
    std::string text;
    for (const std::string& item : list) {
        text += (text.empty() ? "" : separator) + item;
    }
    return text;
}

// The options a usage line names ("[--language TAG]" names --language).
std::vector<std::string> optionsIn(const std::string& usage)
{
    std::vector<std::string> options;
    for (std::string word : words(usage)) {
        while (!word.empty() && (word.front() == '[' || word.front() == '(')) {
            word.erase(0, 1);
        }
        while (!word.empty() && (word.back() == ']' || word.back() == ')')) {
            word.pop_back();
        }
        if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
            options.push_back(word);
        }
    }
    return options;
}

std::string escapedWord(const std::string& word)
{
    std::string text;
    for (char c : word) {
        if (c == '-') {
            text += "\\-";
        } else if (c == '\\') {
            text += "\\e";
        } else if (c == '"') {
            text += "\\(dq";
        } else {
            text += c;
        }
    }
    return text;
}

// A usage line in roff's inline fonts: names and options bold, what the user fills in (words in capitals) italic,
// brackets and choices roman.
std::string roffUsage(const std::string& usage, bool nameFirst)
{
    std::string text;
    for (const std::string& word : words(usage)) {
        std::size_t begin = 0;
        std::size_t end = word.size();
        while (begin < end && word[begin] == '[') {
            ++begin;
        }
        while (end > begin && word[end - 1] == ']') {
            --end;
        }
        const std::string core = word.substr(begin, end - begin);
        bool capitals = false;
        for (char c : core) {
            capitals = capitals || std::isupper(static_cast<unsigned char>(c));
        }
        std::string font;
        if (!core.empty() && (core[0] == '-' || (nameFirst && text.empty()))) {
            font = "\\fB";
        } else if (capitals) {
            font = "\\fI";
        }
        text += (text.empty() ? "" : " ") + word.substr(0, begin) +
                (font.empty() ? escapedWord(core) : font + escapedWord(core) + "\\fR") + word.substr(end);
    }
    return text;
}

// A sentence from a help text: its lines joined, its first letter a capital, a full stop at the end.
std::string sentence(const std::string& help)
{
    std::string text = joined(words(help), " ");
    for (char& c : text) {
        if (std::isalpha(static_cast<unsigned char>(c))) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            break;
        }
    }
    if (!text.empty() && text.back() != '.') {
        text += '.';
    }
    return roffText(text);
}

// One item of a tagged list: the name in bold, the rest of its usage and its aliases after it, then the text.
std::string taggedItem(const std::string& name, const std::string& usage, const std::vector<std::string>& aliases,
                       const std::string& help)
{
    const std::string rest = usage.size() > name.size() ? roffUsage(usage.substr(name.size() + 1), false) : "";
    std::string after = rest.empty() ? "" : " " + rest;
    for (const std::string& alias : aliases) {
        after += ", \\fB" + escapedWord(alias) + "\\fR";
    }
    std::string item = ".TP\n";
    item += after.empty() ? ".B " + escapedWord(name) + "\n" : ".BR " + escapedWord(name) + " \"" + after + "\"\n";
    return item + sentence(help) + "\n";
}

std::string manualCommands()
{
    std::string text;
    for (const Command& command : commands()) {
        text += taggedItem(command.name, command.synopsis, words(command.aliases), command.summary);
    }
    return text;
}

std::string manualOptions(bool job)
{
    std::string text;
    for (const RenderOptionText& option : renderOptionTexts()) {
        if (option.job == job) {
            text += taggedItem(option.name, option.synopsis, words(option.alias), option.help);
        }
    }
    return text;
}

std::string filled(const std::string& frame, const std::map<std::string, std::string>& values)
{
    std::string text;
    std::size_t at = 0;
    for (std::size_t open; (open = frame.find('@', at)) != std::string::npos;) {
        const std::size_t close = frame.find('@', open + 1);
        if (close == std::string::npos) {
            throw std::invalid_argument("an '@' without its closing '@'");
        }
        const std::string name = frame.substr(open + 1, close - open - 1);
        const auto value = values.find(name);
        if (value == values.end()) {
            throw std::invalid_argument("unknown place @" + name + "@");
        }
        text += frame.substr(at, open - at) + value->second;
        at = close + 1;
        // A place on a line of its own is filled with whole lines.
        if (!value->second.empty() && value->second.back() == '\n' && at < frame.size() && frame[at] == '\n') {
            ++at;
        }
    }
    return text + frame.substr(at);
}

} // namespace

std::string roffText(const std::string& text)
{
    std::string escaped;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\'')) {
            escaped += "\\&";
        }
        escaped += c == '-' ? std::string("\\-") : c == '\\' ? std::string("\\e") : std::string(1, c);
        lineStart = c == '\n';
    }
    return escaped;
}

std::string manualPage(const std::string& frame)
{
    return filled(frame, {{"SYNOPSIS", roffUsage(globalUsage() + " COMMAND [ARGS]", true)},
                          {"COMMANDS", manualCommands()},
                          {"EFFECT_OPTIONS", manualOptions(false)},
                          {"JOB_OPTIONS", manualOptions(true)}});
}

std::string bashCompletion(const std::string& frame)
{
    std::vector<std::string> names;
    std::vector<std::string> global = optionsIn(globalUsage());
    std::vector<std::string> params = {"--quiet", "--verbose", "--help"};
    for (const Command& command : commands()) {
        names.push_back(command.name);
        for (const std::string& alias : words(command.aliases)) {
            if (alias.compare(0, 2, "--") == 0) {
                global.push_back(alias);
            }
        }
        if (command.run == paramsCommand) {
            const std::vector<std::string> own = optionsIn(command.synopsis);
            params.insert(params.begin(), own.begin(), own.end());
        }
    }
    std::vector<std::string> render;
    std::vector<std::string> values;
    for (const RenderOptionText& option : renderOptionTexts()) {
        render.push_back(option.name);
        if (words(option.synopsis).size() > 1) {
            values.push_back(option.name);
        }
    }
    render.push_back("--help");
    return filled(frame, {{"COMMANDS", joined(names, " ")},
                          {"GLOBAL_OPTIONS", joined(global, " ")},
                          {"RENDER_OPTIONS", joined(render, " ")},
                          {"VALUE_OPTIONS", joined(values, " | ")},
                          {"PARAMS_OPTIONS", joined(params, " ")}});
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
