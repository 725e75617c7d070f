// Runs a command on the tests' virtual X server (tests/support/Xvfb.h), with
// DISPLAY pointing at it, and ends the server with the command. The install
// check starts the installed program this way.
//   with-xvfb COMMAND [ARGUMENT...]
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/Xvfb.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: with-xvfb COMMAND [ARGUMENT...]\n");
        return 2;
    }
    const zqtest::Xvfb& server = zqtest::Xvfb::Shared();
    if (!server.Ok()) {
        fprintf(stderr, "with-xvfb: %s\n", server.Error().c_str());
        return 1;
    }
    setenv("DISPLAY", server.Display().c_str(), 1);
    const pid_t child = fork();
    if (child < 0) {
        perror("with-xvfb: fork");
        return 1;
    }
    if (child == 0) {
        execvp(argv[1], argv + 1);
        perror(argv[1]);
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child)
        return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
