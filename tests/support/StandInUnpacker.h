// A stand-in for 7za that unpacks nothing and does not end by itself, for the
// tests that close the program while it unpacks: it writes f0, f1, ... into
// its output folder (-o<folder>) every 100 ms, through a child of its own,
// for a minute, and leaves that child's pid in writer.pid beside itself.
//
// Header only and free of GoogleTest, like the other host helpers.
#pragma once

namespace zqtest {

inline const char* SlowUnpackerScript()
{
    return "#!/bin/sh\n"
           "for a; do case \"$a\" in -o*) out=\"${a#-o}\";; esac; done\n"
           "mkdir -p \"$out\"\n"
           "(i=0; while [ $i -lt 600 ]; do echo x > \"$out/f$i\"; i=$((i+1)); sleep 0.1; done) &\n"
           "echo $! > \"$(dirname \"$0\")/writer.pid\"\n"
           "wait\n";
}

}  // namespace zqtest
