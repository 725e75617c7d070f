// The parser of scenario rules.
#include "Scenario.h"

#include "Wire.h"

#include <cstdlib>
#include <set>
#include <sstream>

namespace carkit {

namespace {

bool IsNumber(const std::string& text)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    std::strtoul(text.c_str(), &end, 0);
    return *end == '\0';
}

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

bool CheckAction(const Action& a, std::string* why)
{
    static const std::set<std::string> noArgs = {"answer", "silence", "disconnect", "unplug"};
    const size_t n = a.args.size();
    if (noArgs.count(a.verb))
        return n == 0 || (*why = a.verb + " takes no arguments", false);
    Bytes bytes;
    if (a.verb == "send")
        return (n >= 1 && n <= 2 && IsNumber(a.args[0]) && (n == 1 || FromHex(a.args[1], &bytes))) ||
               (*why = "send T [HEX]", false);
    if (a.verb == "nak")
        return (n >= 1 && n <= 2 && IsNumber(a.args[0]) && (n == 1 || IsNumber(a.args[1]))) ||
               (*why = "nak REASON [SEQ]", false);
    if (a.verb == "connect")
        return (n == 0 || (n == 1 && FromHex(a.args[0], &bytes))) || (*why = "connect [HEX]", false);
    if (a.verb == "fileok")
        return (n == 0 || (n == 1 && IsNumber(a.args[0]))) || (*why = "fileok [10|11]", false);
    if (a.verb == "raw")
        return (n == 1 && FromHex(a.args[0], &bytes)) || (*why = "raw HEX", false);
    if (a.verb == "corrupt")
        return (n == 0 || (n == 1 && a.args[0] == "check")) || (*why = "corrupt [check]", false);
    if (a.verb == "truncate" || a.verb == "delay")
        return (n == 1 && IsNumber(a.args[0])) || (*why = a.verb + " N", false);
    *why = "unknown action '" + a.verb + "'";
    return false;
}

// One word between a rule's event and its "do": "always" or key=value.
bool ParseSelector(const std::string& w, Rule* rule, std::string* why)
{
    if (w == "always") {
        rule->times = 0;
        return true;
    }
    const size_t eq = w.find('=');
    if (eq == std::string::npos) {
        *why = "expected key=value, got '" + w + "'";
        return false;
    }
    const std::string key = w.substr(0, eq), value = w.substr(eq + 1);
    if (key == "times") {
        if (!IsNumber(value)) {
            *why = "times=N";
            return false;
        }
        rule->times = std::atoi(value.c_str());
    } else if (key == "seq" || key == "nth" || key == "type" || key == "last") {
        if (!IsNumber(value)) {
            *why = key + "=N";
            return false;
        }
        rule->selectors[key] = value;
    } else if (key == "name") {
        rule->selectors[key] = value;
    } else {
        *why = "unknown selector '" + key + "'";
        return false;
    }
    return true;
}

// The actions: the words from first on, separated by ';' (alone or attached).
bool ParseActions(const std::vector<std::string>& words, size_t first, Rule* rule, std::string* why)
{
    std::string rest;
    for (size_t i = first; i < words.size(); ++i)
        rest += words[i] + ' ';
    std::istringstream actions(rest);
    std::string part;
    while (std::getline(actions, part, ';')) {
        std::vector<std::string> w = Words(part);
        if (w.empty())
            continue;
        Action action;
        action.verb = w[0];
        action.args.assign(w.begin() + 1, w.end());
        if (!CheckAction(action, why))
            return false;
        rule->actions.push_back(action);
    }
    if (rule->actions.empty()) {
        *why = "no action";
        return false;
    }
    return true;
}

// One rule from the words of a line: on <event> [selectors] do <actions>.
bool ParseRule(const std::vector<std::string>& words, Rule* rule, std::string* why)
{
    static const std::set<std::string> events = {"connect", "disconnect", "request", "hostnak", "header",
                                                 "data",    "end",        "frame",   "any"};
    if (words[0] != "on" || words.size() < 4) {
        *why = "expected 'on <event> ... do <action>'";
        return false;
    }
    rule->event = words[1];
    if (!events.count(rule->event)) {
        *why = "unknown event '" + rule->event + "'";
        return false;
    }
    size_t i = 2;
    for (; i < words.size() && words[i] != "do"; ++i)
        if (!ParseSelector(words[i], rule, why))
            return false;
    if (i >= words.size()) {
        *why = "missing 'do'";
        return false;
    }
    return ParseActions(words, i + 1, rule, why);
}

}  // namespace

bool ParseScenario(const std::string& text, std::vector<Rule>* rules, std::string* error)
{
    std::istringstream in(text);
    std::string lineText;
    int lineNumber = 0;
    while (std::getline(in, lineText)) {
        ++lineNumber;
        const size_t hash = lineText.find('#');
        if (hash != std::string::npos)
            lineText.erase(hash);
        std::vector<std::string> words = Words(lineText);
        if (words.empty())
            continue;
        Rule rule;
        rule.line = lineNumber;
        std::string why;
        if (!ParseRule(words, &rule, &why)) {
            *error = "scenario line " + std::to_string(lineNumber) + ": " + why;
            return false;
        }
        rules->push_back(rule);
    }
    return true;
}

}  // namespace carkit
