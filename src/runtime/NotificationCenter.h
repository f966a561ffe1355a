// Named notifications delivered synchronously to their observers, with a small map of user information.
#pragma once

#include <any>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

namespace zavro {

// String keys to a few kinds of value: text, integers, numbers, flags and shared objects. Typed getters
// answer nullopt (or an empty pointer) when the key is absent or holds another kind. Also serves as the
// info dictionary a connection sends with its status reports.
class UserInfo {
 public:
  UserInfo& setString(const std::string& key, std::string value);
  UserInfo& setInteger(const std::string& key, std::int64_t value);
  UserInfo& setNumber(const std::string& key, double value);
  UserInfo& setBool(const std::string& key, bool value);
  template <typename T>
  UserInfo& setObject(const std::string& key, std::shared_ptr<T> object) {
    mValues[key] = Value(std::in_place_type<std::any>, std::move(object));
    return *this;
  }

  bool contains(const std::string& key) const { return mValues.count(key) != 0; }
  void remove(const std::string& key) { mValues.erase(key); }
  bool empty() const { return mValues.empty(); }
  std::size_t size() const { return mValues.size(); }
  std::vector<std::string> keys() const;

  std::optional<std::string> string(const std::string& key) const;
  std::optional<std::int64_t> integer(const std::string& key) const;
  // An integer or a number.
  std::optional<double> number(const std::string& key) const;
  std::optional<bool> boolean(const std::string& key) const;
  // The object stored with setObject<T>; empty for another type or kind.
  template <typename T>
  std::shared_ptr<T> object(const std::string& key) const {
    auto it = mValues.find(key);
    if (it == mValues.end()) {
      return nullptr;
    }
    const auto* any = std::get_if<std::any>(&it->second);
    const auto* ptr = any ? std::any_cast<std::shared_ptr<T>>(any) : nullptr;
    return ptr ? *ptr : nullptr;
  }

 private:
  using Value = std::variant<std::string, std::int64_t, double, bool, std::any>;
  std::map<std::string, Value> mValues;
};

struct Notification {
  std::string name;
  const void* object = nullptr;  // the sender, for identity only
  UserInfo userInfo;
};

// The process's notification center: postNotification() calls every matching observer on the posting
// thread, in the order they were added, before it returns.
//
// Observers may be added and removed from any thread and from inside a callback. An observer removed
// while a notification is being delivered is not called after the removal (also when it removes itself
// or a later observer from inside a callback); one added during a delivery first hears the next post.
// Removal waits for a callback of that observer still running on another thread, so that an object can
// remove itself in its destructor; it does not wait for callbacks on the calling thread. A callback must
// therefore not wait for a thread that is removing the same observer.
class NotificationCenter {
 public:
  using Callback = std::function<void(const Notification&)>;
  using ObserverId = std::uint64_t;

  static std::shared_ptr<NotificationCenter> defaultCenter();

  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // `observer` identifies the registration for removeObserver(observer...). An empty `name` matches every
  // notification, a null `object` every sender.
  ObserverId addObserver(const void* observer, Callback callback, const std::string& name, const void* object);
  void removeObserver(ObserverId id);
  // Every registration of `observer`.
  void removeObserver(const void* observer);
  // The registrations of `observer` for `name` (empty: any) and `object` (null: any).
  void removeObserver(const void* observer, const std::string& name, const void* object);

  void postNotification(const Notification& notification);
  void postNotificationName(const std::string& name, const void* object, UserInfo userInfo = {});

 private:
  struct Entry {
    ObserverId id = 0;
    const void* observer = nullptr;
    std::string name;
    const void* object = nullptr;
    Callback callback;
    bool alive = true;                       // guarded by mMutex
    std::vector<std::thread::id> callersIn;  // threads inside the callback; guarded by mMutex
  };

  template <typename Match>
  void removeMatching(Match match);

  std::mutex mMutex;
  std::condition_variable mCallbackLeft;
  std::vector<std::shared_ptr<Entry>> mEntries;
  ObserverId mNextId = 1;
};

}  // namespace zavro
