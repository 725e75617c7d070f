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
        return (n >= 1 && n <= 2 && IsNumber(a.args[0]) && (n == 1 || FromHex(a.args[1], &bytes)))
            || (*why = "send T [HEX]", false);
    if (a.verb == "nak")
        return (n >= 1 && n <= 2 && IsNumber(a.args[0]) && (n == 1 || IsNumber(a.args[1])))
            || (*why = "nak REASON [SEQ]", false);
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

} // namespace

bool ParseScenario(const std::string& text, std::vector<Rule>* rules, std::string* error)
{
    static const std::set<std::string> events = {"connect", "disconnect", "request", "hostnak", "header",
                                                 "data",    "end",        "frame",   "any"};
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
        auto fail = [&](const std::string& why) {
            *error = "scenario line " + std::to_string(lineNumber) + ": " + why;
            return false;
        };
        if (words[0] != "on" || words.size() < 4)
            return fail("expected 'on <event> ... do <action>'");
        Rule rule;
        rule.line = lineNumber;
        rule.event = words[1];
        if (!events.count(rule.event))
            return fail("unknown event '" + rule.event + "'");
        size_t i = 2;
        for (; i < words.size() && words[i] != "do"; ++i) {
            const std::string& w = words[i];
            if (w == "always") {
                rule.times = 0;
                continue;
            }
            const size_t eq = w.find('=');
            if (eq == std::string::npos)
                return fail("expected key=value, got '" + w + "'");
            const std::string key = w.substr(0, eq), value = w.substr(eq + 1);
            if (key == "times") {
                if (!IsNumber(value))
                    return fail("times=N");
                rule.times = std::atoi(value.c_str());
            } else if (key == "seq" || key == "nth" || key == "type" || key == "last") {
                if (!IsNumber(value))
                    return fail(key + "=N");
                rule.selectors[key] = value;
            } else if (key == "name") {
                rule.selectors[key] = value;
            } else {
                return fail("unknown selector '" + key + "'");
            }
        }
        if (i >= words.size())
            return fail("missing 'do'");
        // The actions: words after "do", separated by ';' (alone or attached).
        std::string rest;
        for (++i; i < words.size(); ++i)
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
            std::string why;
            if (!CheckAction(action, &why))
                return fail(why);
            rule.actions.push_back(action);
        }
        if (rule.actions.empty())
            return fail("no action");
        rules->push_back(rule);
    }
    return true;
}

} // namespace carkit
