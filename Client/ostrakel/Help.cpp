#include <map>

#include "Client/ostrakel/Command.h"

namespace ostrakel::cli {

namespace {

const std::map<std::string, std::string>& usages() {
  static const std::map<std::string, std::string> texts = {
      {"list",
       "usage: ostrakel list [--json]\n"
       "Lists the TeX distributions, numbered; the active one is marked with *, and so is\n"
       "its active binary set. --json prints an array of objects with the keys number,\n"
       "name, path, active, architectures and activeArchitecture.\n"},
      {"show",
       "usage: ostrakel show [--json]\n"
       "Shows the active distribution and binary set, each link of the chain that leads\n"
       "from /usr/texbin to it and whether it is sound, where `tex` resolves, and the\n"
       "command that repairs anything unsound.\n"},
      {"use",
       "usage: ostrakel use [--dry-run] NAME|NUMBER|PATH [ARCH]\n"
       "Makes a distribution the active one, with the binary set ARCH (by default the\n"
       "first one the distribution offers for this machine). --dry-run prints the links\n"
       "that would change and changes nothing.\n"},
      {"repair",
       "usage: ostrakel repair\n"
       "Repairs the chain of links from /usr/texbin to the active distribution and the\n"
       "distributions' own texbin links.\n"},
      {"reset",
       "usage: ostrakel reset [--yes]\n"
       "Removes /usr/texbin, /Library/TeX/Distributions/.DefaultTeX and the Programs\n"
       "texbin link, so that no distribution is active. Asks first on a terminal unless\n"
       "--yes is given. The distributions themselves stay.\n"},
      {"add",
       "usage: ostrakel add DIR [--name NAME] [--into FOLDER]\n"
       "Wraps an installed TeX as a distribution: a TeX Live tree (bin/PLATFORM folders\n"
       "holding tex or pdftex) or a folder of TeX programs. Makes NAME.velmar, whose\n"
       "binary sets link into DIR, in /Library/TeX/Distributions (through the service)\n"
       "or in FOLDER. DIR itself is never written. NAME defaults to one derived from DIR,\n"
       "such as \"TeX Live 2024\".\n"},
      {"remove",
       "usage: ostrakel remove NAME|NUMBER|PATH\n"
       "Removes a distribution that `ostrakel add` made. The installation it links to\n"
       "stays; the active distribution is never removed.\n"},
      {"help", "usage: ostrakel help [COMMAND]\n"},
  };
  return texts;
}

}  // namespace

std::string generalUsage() {
  return "usage: ostrakel [--root DIR] [--verbose] COMMAND [ARGUMENTS]\n"
         "       ostrakel --help | --version | help COMMAND\n"
         "\n"
         "Commands:\n"
         "  list [--json]                     list the TeX distributions\n"
         "  show [--json]                     show the active distribution and its links\n"
         "  use NAME|NUMBER|PATH [ARCH]       make a distribution the active one (--dry-run)\n"
         "  repair                            repair the links to the active distribution\n"
         "  reset [--yes]                     remove the links: no distribution is active\n"
         "  add DIR [--name NAME] [--into FOLDER]   wrap an installed TeX as a distribution\n"
         "  remove NAME|NUMBER|PATH           remove a distribution that add made\n"
         "\n"
         "Options:\n"
         "  --root DIR   the system root: every absolute path lies inside DIR\n"
         "               (as with the environment variable OSTRAKEL_ROOT)\n"
         "  --verbose    show error domains and codes\n"
         "  --help       this text; `ostrakel help COMMAND` describes one command\n"
         "  --version    the program's version\n"
         "\n"
         "Exit status: 0 on success, 1 when the work failed, 2 for a usage error.\n";
}

std::string commandUsage(const std::string& command) {
  auto found = usages().find(command);
  return found == usages().end() ? std::string() : found->second;
}

}  // namespace ostrakel::cli
