// Scenario rules: "on <event> [key=value ...] [always | times=N] do <action>
// [args] [; <action> [args] ...]", one rule per line, '#' starts a comment.
//
// Events are the frames that arrive from the PC: connect, disconnect,
// request, hostnak, header, data, end, and frame (any other type) or any
// (every frame). Selectors: seq=N (data), last=1 (data: the file's last
// data frame, shorter than 1024 bytes), name=TEXT (request, header, end),
// type=N (frame, any), nth=N (the Nth such event, from 1). A rule fires once
// unless it says always or times=N.
//
// Actions, carried out in order when the rule fires:
//   answer            the normal answer to the frame, here (else it comes last)
//   silence           no normal answer to this frame
//   send T [HEX]      a frame of type T with the payload HEX
//   nak R [SEQ]       PtNak with reason R (0-255) and sequence SEQ (default 0)
//   connect [HEX]     PtConnect, disconnect  PtDisconnect, fileok [10|11]
//   raw HEX           bytes on the wire as they are (not framed, not stuffed)
//   corrupt [check]   the next frame sent gets a flipped byte: its last payload
//                     byte (or with "check" its check byte)
//   truncate N        the next frame sent is cut after N bytes on the wire
//   delay MS          pause before the next action
//   unplug            the car kit goes: its side of the line closes
#pragma once

#include <map>
#include <string>
#include <vector>

namespace carkit {

struct Action {
    std::string verb;
    std::vector<std::string> args;
};

struct Rule {
    std::string event;
    std::map<std::string, std::string> selectors;
    int times = 1;  // 0: always
    int fired = 0;
    std::vector<Action> actions;
    int line = 0;
};

// Appends the rules of `text`; false with a message naming the line.
bool ParseScenario(const std::string& text, std::vector<Rule>* rules, std::string* error);

}  // namespace carkit
