#pragma once

// Many files in one run ("quorra A.dat B.msg ... /E pdf [FOLDER]"): one conversion per file, as many at a time as
// there are processors, each in a process of its own, with a progress line on a terminal.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "command_line.h"

namespace quorra {

// The output of one input of a batch: beside the input with the format's extension when folder is empty, else in
// folder under the input's name with that extension; a name already given to an earlier input of the batch gets
// " (2)", " (3)", ... before its extension, so that no output replaces another of the same run.
std::string BatchOutputPath(
    const std::string& input, const std::string& folder, const std::string& extension, std::vector<std::string>& taken);

// Runs convertOne (in a child process; its return value is the child's exit status) with the command line of each
// input: "FILE /E FORMAT OUTPUT" and the run's other switches. Prints "\r[done/total] name" on `progress` after
// each file when showProgress. Returns 1 when any file was not written, else 3 when any input was damaged, else 0.
int RunBatchExport(const TCommandLine& commandLine,
    const std::function<int(const std::vector<std::string>& arguments)>& convertOne, std::ostream& progress,
    bool showProgress);

} // namespace quorra
