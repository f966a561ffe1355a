// A new attempt's SQM record gathered from the POP, the dialing rules and the settings.
#include "phonebook/DialRules.h"
#include "phonebook/POP.h"
#include "phonebook/POPConnection.h"
#include "settings/AdminPrefs.h"
#include "settings/UserPrefs.h"
#include "sqm/SqmRecord.h"

namespace zavro {

std::shared_ptr<SqmRecord> SqmRecord::newRecordWithPOP(const POP& pop, uint32_t accessType,
                                                       const std::string& dialString) {
  auto user = UserPrefs::userPrefs();
  auto admin = AdminPrefs::adminPrefs();
  auto rules = DialRules::dialRules();

  SqmAttempt attempt;
  attempt.popID = std::string(pop.popID());
  attempt.popAccessType = pop.accessType();
  attempt.countryCode = pop.countryCode();
  attempt.regionCode = pop.regionCode();
  attempt.city = pop.city();
  attempt.areaCode = pop.areaCode();
  attempt.phone = pop.phone();
  attempt.scriptFile = pop.scriptFile();
  attempt.accessProcedure = pop.accessProcedure();
  attempt.loginString = POPConnection().loginString(pop);
  attempt.computedDialString = rules->dialStringWithPOP(&pop, accessType);
  attempt.safeDialString = rules->safeDialStringWithPOP(&pop, accessType);
  attempt.userName = user->userName();
  attempt.domain = user->domain();
  attempt.dialDevice = user->dialDevice();
  attempt.osLanguage = user->osLanguage();
  attempt.dialerLanguage = user->dialerLanguage();
  attempt.dialerVersion = admin->getDialerVersion();
  attempt.profileID = admin->getProfileID();
  attempt.sendDataToServer = admin->getSendSqmBool();
  attempt.serverURL = admin->getSqmLoaderUrl();
  return newRecordWithAttempt(attempt, accessType, dialString);
}

}  // namespace zavro
