// The fixed POP selection of headless clients and tests.
#include "engine/POPDataSource.h"

#include "engine/ConnectionTypes.h"
#include "phonebook/DialRules.h"
#include "phonebook/POPConnection.h"

namespace zavro {

POPSelectionList::POPSelectionList(std::vector<POPRef> selected, std::uint32_t accessType)
    : mSelected(std::move(selected)), mAccessType(accessType) {
  std::erase(mSelected, nullptr);
}

POPRef POPSelectionList::firstSelectedPOP() const {
  return mSelected.empty() ? nullptr : mSelected.front();
}

POPRef POPSelectionList::lastSelectedPOP() const {
  return mSelected.empty() ? nullptr : mSelected.back();
}

bool POPSelectionList::readyToConnect() const {
  if (mSelected.empty()) {
    return false;
  }
  if (isDialupAccessType(mAccessType)) {
    auto dial = dialStringWithPOP(*mSelected.front());
    return dial && !dial->empty();
  }
  return true;
}

std::string POPSelectionList::connectName() {
  POPRef pop = nextConnectPOP();
  if (!pop) {
    return {};
  }
  if (mEditedDialString && mSelected.size() == 1 && isDialupAccessType(mAccessType)) {
    return *mEditedDialString;
  }
  return POPConnection().connectName(*pop, mAccessType);
}

void POPSelectionList::applyAdditionalConfigArgs(std::vector<std::string>& args, const POP& pop) {
  if (!isDialupAccessType(mAccessType)) {
    return;
  }
  args.push_back("-ppp-phone");
  args.push_back(dialStringWithPOP(pop).value_or(""));
}

bool POPSelectionList::incrementNextConnect() {
  ++mNextConnectIndex;
  return mNextConnectIndex < cursorList().size();
}

POPRef POPSelectionList::nextConnectPOP() const {
  const auto& list = cursorList();
  return mNextConnectIndex < list.size() ? list[mNextConnectIndex] : nullptr;
}

bool POPSelectionList::selectPOPWithID(const std::string& popID) {
  for (const auto& pop : cursorList()) {
    if (pop->popID() == popID) {
      mSelected = {pop};
      mRedialOrder.clear();
      return true;
    }
  }
  return false;
}

std::optional<std::string> POPSelectionList::dialStringWithPOP(const POP& pop) const {
  if (!isDialupAccessType(mAccessType)) {
    return std::nullopt;
  }
  if (mEditedDialString && mSelected.size() == 1) {
    return mEditedDialString;
  }
  return DialRules::dialRules()->dialStringWithPOP(&pop, mAccessType);
}

}  // namespace zavro
