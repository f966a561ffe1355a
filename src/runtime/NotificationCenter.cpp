// Synchronous notification delivery over a snapshot of the observers, with removal safe during delivery.
#include "runtime/NotificationCenter.h"

#include <algorithm>

#include "runtime/ProcessWide.h"

namespace zavro {

UserInfo& UserInfo::setString(const std::string& key, std::string value) {
  mValues[key] = Value(std::in_place_type<std::string>, std::move(value));
  return *this;
}

UserInfo& UserInfo::setInteger(const std::string& key, std::int64_t value) {
  mValues[key] = Value(std::in_place_type<std::int64_t>, value);
  return *this;
}

UserInfo& UserInfo::setNumber(const std::string& key, double value) {
  mValues[key] = Value(std::in_place_type<double>, value);
  return *this;
}

UserInfo& UserInfo::setBool(const std::string& key, bool value) {
  mValues[key] = Value(std::in_place_type<bool>, value);
  return *this;
}

std::vector<std::string> UserInfo::keys() const {
  std::vector<std::string> keys;
  for (const auto& [key, value] : mValues) {
    keys.push_back(key);
  }
  return keys;
}

std::optional<std::string> UserInfo::string(const std::string& key) const {
  auto it = mValues.find(key);
  if (it != mValues.end()) {
    if (const auto* v = std::get_if<std::string>(&it->second)) {
      return *v;
    }
  }
  return std::nullopt;
}

std::optional<std::int64_t> UserInfo::integer(const std::string& key) const {
  auto it = mValues.find(key);
  if (it != mValues.end()) {
    if (const auto* v = std::get_if<std::int64_t>(&it->second)) {
      return *v;
    }
  }
  return std::nullopt;
}

std::optional<double> UserInfo::number(const std::string& key) const {
  auto it = mValues.find(key);
  if (it != mValues.end()) {
    if (const auto* v = std::get_if<double>(&it->second)) {
      return *v;
    }
    if (const auto* v = std::get_if<std::int64_t>(&it->second)) {
      return static_cast<double>(*v);
    }
  }
  return std::nullopt;
}

std::optional<bool> UserInfo::boolean(const std::string& key) const {
  auto it = mValues.find(key);
  if (it != mValues.end()) {
    if (const auto* v = std::get_if<bool>(&it->second)) {
      return *v;
    }
  }
  return std::nullopt;
}

std::shared_ptr<NotificationCenter> NotificationCenter::defaultCenter() {
  static ProcessWide<NotificationCenter> center([] { return std::make_shared<NotificationCenter>(); });
  return center.get();
}

NotificationCenter::ObserverId NotificationCenter::addObserver(const void* observer, Callback callback,
                                                               const std::string& name, const void* object) {
  auto entry = std::make_shared<Entry>();
  entry->observer = observer;
  entry->callback = std::move(callback);
  entry->name = name;
  entry->object = object;
  std::lock_guard lock(mMutex);
  entry->id = mNextId++;
  mEntries.push_back(entry);
  return entry->id;
}

template <typename Match>
void NotificationCenter::removeMatching(Match match) {
  std::vector<std::shared_ptr<Entry>> removed;
  std::unique_lock lock(mMutex);
  for (auto it = mEntries.begin(); it != mEntries.end();) {
    if (match(**it)) {
      (*it)->alive = false;
      removed.push_back(*it);
      it = mEntries.erase(it);
    } else {
      ++it;
    }
  }
  const auto self = std::this_thread::get_id();
  mCallbackLeft.wait(lock, [&] {
    return std::all_of(removed.begin(), removed.end(), [&](const auto& entry) {
      return std::all_of(entry->callersIn.begin(), entry->callersIn.end(),
                         [&](std::thread::id caller) { return caller == self; });
    });
  });
  // The callbacks (and what they captured) are released when the last delivery holding them ends.
}

void NotificationCenter::removeObserver(ObserverId id) {
  removeMatching([id](const Entry& e) { return e.id == id; });
}

void NotificationCenter::removeObserver(const void* observer) {
  removeMatching([observer](const Entry& e) { return e.observer == observer; });
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name, const void* object) {
  removeMatching([&](const Entry& e) {
    return e.observer == observer && (name.empty() || e.name == name) && (!object || e.object == object);
  });
}

void NotificationCenter::postNotification(const Notification& notification) {
  std::vector<std::shared_ptr<Entry>> targets;
  {
    std::lock_guard lock(mMutex);
    for (const auto& entry : mEntries) {
      if ((entry->name.empty() || entry->name == notification.name) &&
          (!entry->object || entry->object == notification.object)) {
        targets.push_back(entry);
      }
    }
  }
  const auto self = std::this_thread::get_id();
  for (const auto& entry : targets) {
    {
      std::lock_guard lock(mMutex);
      if (!entry->alive) {
        continue;
      }
      entry->callersIn.push_back(self);
    }
    entry->callback(notification);
    {
      std::lock_guard lock(mMutex);
      auto& callers = entry->callersIn;
      callers.erase(std::find(callers.begin(), callers.end(), self));
    }
    mCallbackLeft.notify_all();
  }
}

void NotificationCenter::postNotificationName(const std::string& name, const void* object, UserInfo userInfo) {
  postNotification(Notification{name, object, std::move(userInfo)});
}

}  // namespace zavro
