// Parsing of the thruput command line.
#include "ThruputOptions.h"

namespace zavro::thruput {

namespace {

std::string unquote(std::string value) {
  if (!value.empty() && value.front() == '"') {
    value.erase(0, 1);
  }
  if (!value.empty() && value.back() == '"') {
    value.pop_back();
  }
  return value;
}

}  // namespace

OptionMap parseOptions(const std::vector<std::string>& args) {
  OptionMap options;
  std::vector<std::string>* current = nullptr;
  for (const auto& arg : args) {
    if (!arg.empty() && arg[0] == '-') {
      char letter = arg.size() > 1 ? arg[1] : '\0';
      current = &options[letter];
      current->clear();
      std::string rest = arg.size() > 2 ? arg.substr(2) : std::string();
      if (!rest.empty() && rest[0] == '=') {
        rest.erase(0, 1);
      }
      if (!rest.empty()) {
        current->push_back(unquote(rest));
      }
    } else if (current != nullptr) {
      current->push_back(unquote(arg));
    }
  }
  return options;
}

bool isValid(const OptionMap& options) {
  int exclusive = 0;
  exclusive += options.count('b') != 0 ? 1 : 0;
  exclusive += options.count('n') != 0 ? 1 : 0;
  exclusive += options.count('u') != 0 && !firstValue(options, 'u').empty() ? 1 : 0;
  return exclusive == 1;
}

std::string firstValue(const OptionMap& options, char letter) {
  auto it = options.find(letter);
  if (it == options.end() || it->second.empty()) {
    return {};
  }
  return it->second.front();
}

const std::string& usageText() {
  static const std::string text =
      "Usage: thruput [-b|-n|-h <URL> -e <error_code> -u <user> ...]\n"
      "\n"
      "where\n"
      "    -b records the dial start time\n"
      "    -n records modem negotiated time\n"
      "    -u records the stop time and user name\n"
      "    -c the user cancelled the operation\n"
      "    -h URL of the SQM servlet (could be multiple)\n"
      "    -e error code\n"
      "    -a access procedure\n"
      "    -f full username\n"
      "    -d the DUN entry name (N/A for Mac OS X)\n"
      "    -l location (\"country code,region code,city\")\n"
      "    -m modem phone\n"
      "    -p pop type\n"
      "    -o pop ID\n"
      "    -i profile ID\n"
      "    -s location ID\n"
      "    -t dial string\n"
      "    -v dialer version\n"
      "    -g dialer language\n"
      "    -r disconnect reason code\n"
      "\n"
      "Note: -b, -n, and -u are exclusive; -u must be followed by the user name\n"
      "\n"
      "Example:\n"
      "    thruput -b    or\n"
      "    thruput -n    or\n"
      "    thruput -h sqm.example.net:8080/servlet/SqmServlet -u\"traveller@example.net\"";
  return text;
}

}  // namespace zavro::thruput
