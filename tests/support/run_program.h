// Runs a program as a user runs it: arguments, environment additions, no
// terminal, and what it printed on each stream.
#ifndef QUILLON_TESTS_SUPPORT_RUN_PROGRAM_H_
#define QUILLON_TESTS_SUPPORT_RUN_PROGRAM_H_

#include <string>
#include <vector>

namespace quillon {

struct ProgramRun {
  int status = -1;  // exit status; 128 + N when ended by signal N
  std::string out, err;
};

// Runs `program` with `args` in `directory` (the current one when empty),
// standard input from /dev/null, with `environment` entries ("NAME=value")
// added to this process's environment.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& directory = "",
                      const std::vector<std::string>& environment = {});

}  // namespace quillon

#endif  // QUILLON_TESTS_SUPPORT_RUN_PROGRAM_H_
