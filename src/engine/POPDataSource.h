// What the connect controller and the main window ask of a POP list: selection, redial cursor, names, dial strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "phonebook/POP.h"
#include "runtime/PropertyList.h"

namespace zavro {

// Implemented by the POP lists of the tabs and by the bookmark list. Main thread only.
class POPDataSource {
 public:
  virtual ~POPDataSource() = default;

  virtual POPRef firstSelectedPOP() const = 0;
  virtual POPRef lastSelectedPOP() const = 0;
  virtual std::vector<POPRef> selectedPOPs() const = 0;
  virtual unsigned selectedCount() const = 0;
  virtual void deselectAll() = 0;
  virtual unsigned count() const = 0;
  virtual bool readyToConnect() const = 0;
  // The name of the connection to nextConnectPOP(), shown while it is made.
  virtual std::string connectName() = 0;
  virtual std::uint32_t accessType() const = 0;
  // Adds list-specific netconfig arguments (a dial-up list: "-ppp-phone" and the dial string).
  virtual void applyAdditionalConfigArgs(std::vector<std::string>& args, const POP& pop) = 0;

  // The redial cursor over the POPs to try: back to the first, on to the next (false when there is none),
  // and the POP under it (null when the cursor is past the end).
  virtual void resetNextConnect() = 0;
  virtual bool incrementNextConnect() = 0;
  virtual POPRef nextConnectPOP() const = 0;

  virtual bool selectPOPWithID(const std::string& popID) = 0;
  virtual void makePOPListViewFirstResponder() {}
  // The dial string for `pop`; nullopt for a list that has none (broadband lists).
  virtual std::optional<std::string> dialStringWithPOP(const POP& pop) const = 0;
  // The dialing settings the POP's netconfig arguments are made with: the selected bookmark's, or null for
  // the user's own (every list but the bookmarks).
  virtual const PropertyList::Dictionary* connectSettings() const { return nullptr; }
};

// A fixed selection of POPs for one access mask, as a headless client or a test selects them: the plain
// cursor runs over the selection in order, or over the smart-redial order when one is set. Dial-up masks
// get the dialing rules' dial strings and "-ppp-phone"; connection names come from the POP's connection
// name for the mask.
class POPSelectionList final : public POPDataSource {
 public:
  POPSelectionList(std::vector<POPRef> selected, std::uint32_t accessType);

  // The POPs the cursor runs over instead of the selection (empty: the selection).
  void setRedialOrder(std::vector<POPRef> order) { mRedialOrder = std::move(order); }
  // A dial string the user typed; used for the POP asked for while exactly one POP is selected.
  void setEditedDialString(std::optional<std::string> dialString) { mEditedDialString = std::move(dialString); }

  POPRef firstSelectedPOP() const override;
  POPRef lastSelectedPOP() const override;
  std::vector<POPRef> selectedPOPs() const override { return mSelected; }
  unsigned selectedCount() const override { return static_cast<unsigned>(mSelected.size()); }
  void deselectAll() override { mSelected.clear(); }
  unsigned count() const override { return static_cast<unsigned>(mSelected.size()); }
  bool readyToConnect() const override;
  std::string connectName() override;
  std::uint32_t accessType() const override { return mAccessType; }
  void applyAdditionalConfigArgs(std::vector<std::string>& args, const POP& pop) override;
  void resetNextConnect() override { mNextConnectIndex = 0; }
  bool incrementNextConnect() override;
  POPRef nextConnectPOP() const override;
  bool selectPOPWithID(const std::string& popID) override;
  std::optional<std::string> dialStringWithPOP(const POP& pop) const override;

 private:
  const std::vector<POPRef>& cursorList() const { return mRedialOrder.empty() ? mSelected : mRedialOrder; }

  std::vector<POPRef> mSelected;
  std::vector<POPRef> mRedialOrder;
  std::uint32_t mAccessType;
  unsigned mNextConnectIndex = 0;
  std::optional<std::string> mEditedDialString;
};

}  // namespace zavro
