// HelpText.h: what `ferrolift COMMAND --help` prints: usage, options, the files and
// environment the command reads.
//
//   if (const char* theHelp = ferrolift::cli::CommandHelp("serve"))
//       std::fputs(theHelp, stdout);
#pragma once

namespace ferrolift::cli {

/// The full help of a subcommand, or null for a name that is not one.
const char* CommandHelp(const char* inCommand);

/// The environment and files every command shares, printed after the command list.
const char* CommonHelp();

}  // namespace ferrolift::cli
