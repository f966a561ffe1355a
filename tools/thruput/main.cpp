// thruput: adds events and values to the current SQM record from outside the application, then uploads.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "ThruputOptions.h"
#include "common/StringTokenizers.h"
#include "net/TransportDefaults.h"
#include "sqm/SqmRecord.h"

namespace {

using zavro::SqmRecord;
using zavro::thruput::firstValue;
using zavro::thruput::OptionMap;

constexpr double kUnixToReference = 978307200.0;

double nowReference() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9 - kUnixToReference;
}

int integerValue(const std::string& text) {
  return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

// Applies every option to the record; "now" is the time the program started.
void apply(const OptionMap& options, SqmRecord& record, double now, std::string& server) {
  record.setToolUsed(std::string("MacOS 4.21"));
  for (const auto& [letter, values] : options) {
    const std::string value = values.empty() ? std::string() : values.front();
    switch (letter) {
      case 'b':
        record.setDialStartTime(now);
        break;
      case 'n':
        record.setModemNegotiateTime(now);
        break;
      case 'u':
        record.setDialStopTime(now);
        if (auto start = record.dialStartTime()) {
          record.setTimeToConnect(*record.dialStopTime() - *start);
        }
        record.setUserID(value);
        break;
      case 'c':
        record.setUserCanceled(true);
        break;
      case 'h':
        if (!values.empty()) {
          // Spread the load over the servers given. The processor time alone is nearly the same at
          // every start, so the process id and the clock are mixed into the seed.
          srandom(static_cast<unsigned>(std::clock()) ^ static_cast<unsigned>(::getpid()) ^
                  static_cast<unsigned>(std::time(nullptr)));
          server = values[static_cast<size_t>(random()) % values.size()];
          record.setServerURL(server);
        }
        break;
      case 'e':
        record.setErrorCode(integerValue(value));
        break;
      case 'a':
        record.setAccessProcedure(value);
        break;
      case 'f':
        record.setFullUserLogin(value);
        break;
      case 'l': {
        // Fewer than three parts set the parts given and leave the others as they were.
        auto parts = zavro::strings::quotedComponentsSeparatedByString(value, ",");
        if (parts.size() > 0) {
          record.setPopCountryCode(parts[0]);
        }
        if (parts.size() > 1) {
          record.setPopRegionCode(parts[1]);
        }
        if (parts.size() > 2) {
          record.setPopCity(parts[2]);
        }
        break;
      }
      case 'm':
        record.setModemPhoneNumber(value);
        break;
      case 'p':
        record.setPopType(value);
        break;
      case 'o':
        record.setPopID(value);
        break;
      case 'i':
        record.setProfileID(value);
        break;
      case 's':
        record.setLocationID(value);
        break;
      case 't':
        record.setDestinationPhoneNumber(value);
        break;
      case 'v':
        record.setDialerVersion(value);
        break;
      case 'g':
        record.setDialerLanguage(value);
        break;
      case 'r':
        if (auto stop = record.dialStopTime()) {
          record.setSessionLength(now - *stop);
        }
        record.setDisconnectReason(integerValue(value));
        break;
      default:  // -d is accepted and ignored, like unknown letters
        break;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const double now = nowReference();
  std::vector<std::string> args(argv + 1, argv + argc);
  OptionMap options = zavro::thruput::parseOptions(args);
  if (!zavro::thruput::isValid(options)) {
    std::fputs(zavro::thruput::usageText().c_str(), stdout);
    return 1;
  }
  if (options.count('?') != 0) {
    std::fputs(zavro::thruput::usageText().c_str(), stdout);
    return 0;
  }
  auto record = SqmRecord::sharedRecord();
  std::string server;
  apply(options, *record, now, server);
  record->releaseSharedLock();
  if (!server.empty()) {  // an -h without an address uploads nowhere
    // A collection server with a private CA: the usual OpenSSL variable names the bundle to trust.
    if (const char* bundle = std::getenv("SSL_CERT_FILE"); bundle != nullptr && *bundle != '\0') {
      zavro::TransportDefaults defaults = zavro::TransportDefaults::current();
      defaults.caCertificatesFile = bundle;
      zavro::TransportDefaults::setCurrent(defaults);
    }
    record->uploadDataToServer();
  }
  return 0;
}
