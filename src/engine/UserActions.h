// The user's applications opened once a connection is up, and the browser before them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/PropertyList.h"

namespace zavro {

class Launcher;

// One application of the user's list, kept as the map the preferences store: "Name" (the application's file
// name), "Path" (its full path) and "URL" (its file URL).
class UserAction {
 public:
  explicit UserAction(PropertyList::Dictionary map) : mMap(std::move(map)) {}
  static std::shared_ptr<UserAction> userActionWithName(const std::string& name, const std::string& path,
                                                        const std::string& url);

  std::string name() const { return value("Name"); }
  std::string path() const { return value("Path"); }
  std::string url() const { return value("URL"); }
  const PropertyList::Dictionary& dictionary() const { return mMap; }

  // Launches the application by its name.
  bool execute(Launcher& launcher) const;

 private:
  std::string value(const char* key) const;
  PropertyList::Dictionary mMap;
};

class UserActions {
 public:
  static std::shared_ptr<UserActions> userActions() { return std::make_shared<UserActions>(); }
  // One action per map of the stored list (other values are skipped).
  static std::shared_ptr<UserActions> userActionsWithArray(const PropertyList::Array& array);

  void add(std::shared_ptr<UserAction> action) { mActions.push_back(std::move(action)); }
  const std::vector<std::shared_ptr<UserAction>>& actions() const { return mActions; }
  // The stored form: the list of the actions' maps.
  PropertyList::Array array() const;

  // With `startBrowser`, opens the default application for "html" first. Then launches each action in order
  // while everything so far has worked: a failure (the browser's too) stops the rest. True when all worked.
  bool execute(Launcher& launcher, bool startBrowser) const;

 private:
  std::vector<std::shared_ptr<UserAction>> mActions;
};

}  // namespace zavro
