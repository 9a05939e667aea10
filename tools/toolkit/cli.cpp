#include "cli.h"

#include <iostream>

#include "exit_status.h"

namespace tools {

void AddVersionFlag(CLI::App& app, const std::string& name) {
  app.set_version_flag("--version", name + " " + MPX_TOOLS_VERSION);
}

int RunTool(CLI::App& app, int argc, char** argv, const std::function<int()>& body) {
  // CLI11 reports an unknown first word only as a missing subcommand; name it.
  if (argc > 1 && argv[1][0] != '-' && !app.get_subcommands({}).empty()) {
    std::string known;
    bool found = false;
    for (const CLI::App* command : app.get_subcommands({})) {
      found = found || command->get_name() == argv[1];
      known += (known.empty() ? "" : ", ") + command->get_name();
    }
    if (!found) {
      std::cerr << app.get_name() << ": unknown subcommand \"" << argv[1] << "\" (" << known << ")\n";
      return kExitUsage;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);  // prints the message and the --help hint on stderr
    return kExitUsage;
  }
  try {
    return body();
  } catch (const UsageError& e) {
    std::cerr << app.get_name() << ": " << e.what() << "\n";
    return kExitUsage;
  } catch (const ToolError& e) {
    std::cerr << app.get_name() << ": " << e.what() << "\n";
    return kExitFailure;
  }
}

}  // namespace tools
