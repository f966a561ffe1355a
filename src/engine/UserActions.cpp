// Launching the user's applications after a connection has come up.
#include "engine/UserActions.h"

#include "platform/Launcher.h"

namespace zavro {

std::shared_ptr<UserAction> UserAction::userActionWithName(const std::string& name, const std::string& path,
                                                           const std::string& url) {
  return std::make_shared<UserAction>(
      PropertyList::Dictionary{{"Name", PropertyList(name)}, {"Path", PropertyList(path)}, {"URL", PropertyList(url)}});
}

std::string UserAction::value(const char* key) const {
  auto it = mMap.find(key);
  const std::string* text = it == mMap.end() ? nullptr : it->second.string();
  return text ? *text : std::string();
}

bool UserAction::execute(Launcher& launcher) const {
  return launcher.launchApplication(name());
}

std::shared_ptr<UserActions> UserActions::userActionsWithArray(const PropertyList::Array& array) {
  auto list = userActions();
  for (const auto& item : array) {
    if (const auto* map = item.dictionary()) {
      list->add(std::make_shared<UserAction>(*map));
    }
  }
  return list;
}

PropertyList::Array UserActions::array() const {
  PropertyList::Array out;
  for (const auto& action : mActions) {
    out.emplace_back(action->dictionary());
  }
  return out;
}

bool UserActions::execute(Launcher& launcher, bool startBrowser) const {
  bool success = true;
  if (startBrowser) {
    success = launcher.openDefaultApplicationForExtension("html");
  }
  for (const auto& action : mActions) {
    if (!success) {
      break;
    }
    success = action->execute(launcher);
  }
  return success;
}

}  // namespace zavro
