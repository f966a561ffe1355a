// A point of presence: one or more phonebook records that share a POP ID, read field by field.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/CSVFile.h"

namespace zavro {

class PhoneBook;
namespace phonebook_detail {
struct PopStore;
}

// Record fields are never copied into a POP: every accessor finds its field again in the phone
// file's bytes, in the current record (the primary record, position 0, unless setCurrentLine or
// setLineWithMediaType chose another).
//
// Lifetime: a POP keeps the loaded bytes of its records alive, not the PhoneBook it was made for
// (the book owns its POPs, so holding the book would make every book immortal). phoneBook() gives
// that book while it lives. POPs are shared between a book and all its copies; the current record
// is the one piece of state that changes, so a POP is not to be used from two threads at once.
class POP {
 public:
  POP() = default;
  POP(POP&&) noexcept = default;
  POP& operator=(POP&&) noexcept = default;
  POP(const POP&) = delete;
  POP& operator=(const POP&) = delete;

  // A POP for one record of the book's phone file: setPhoneBook, addLine, cacheAccessType.
  static std::shared_ptr<POP> popWithPhoneBook(const std::shared_ptr<PhoneBook>& book, std::string_view popID,
                                               const LineEntry& line);
  void setPhoneBook(const std::shared_ptr<PhoneBook>& book, std::string_view popID);
  void addLine(const LineEntry& line);
  // accessType = field 28 of the current record (integer rules of CSVFile).
  void cacheAccessType();

  std::shared_ptr<PhoneBook> phoneBook() const { return mPhoneBook.lock(); }
  // The ID the POP was made with. IDs of up to 63 bytes are kept inside the POP; longer ones (not
  // expected in a phonebook) are kept whole on the heap and still compared in full.
  std::string_view popID() const;
  uint32_t accessType() const { return mAccessType; }
  unsigned count() const { return mLineCount; }
  // Record at position i; i must be below count().
  const LineEntry& lineEntry(unsigned i) const { return mLines[i]; }
  // The first record, or null for a POP without records.
  const LineEntry* primaryLine() const { return mLineCount ? mLines : nullptr; }
  unsigned currentLine() const { return mCurrentLine; }
  // Positions at or past count() are ignored.
  void setCurrentLine(unsigned i);
  // Makes the first record whose media type (field 26) equals `mediaType` current; when none does,
  // the current record stays and the result is false.
  bool setLineWithMediaType(std::string_view mediaType);

  // Field n of the current record, pointing into the loaded bytes ("" when missing).
  std::string_view fieldBytes(int n) const;
  std::string field(int n) const { return std::string(fieldBytes(n)); }
  long fieldAsInt(int n) const;

  std::string countryCode() const { return field(0); }
  std::string regionCode() const { return field(1); }
  std::string city() const { return field(2); }
  std::string areaCode() const { return field(3); }
  std::string phone() const { return field(4); }
  std::string popIDString() const { return field(5); }
  std::string scriptFile() const { return field(6); }
  std::string prefix() const { return field(7); }
  std::string suffix() const { return field(8); }
  std::string rate() const { return field(14); }
  // Field 14 as a number: a leading decimal number ("0.25", "-1", "2e3"), 0 when there is none.
  // "nan" and "inf" are not numbers here, so rates always order.
  double rateValue() const;
  std::string modemSpeed() const { return field(15); }
  // Field 20 carries the DNS setting in one of two forms: "1" (the POP needs its own DNS server,
  // address not given here) or the server's dotted IPv4 address. requiresDNS is true for both;
  // DNSAddress is the field when it is a dotted address (four dot-separated numbers from 0 to 255,
  // without leading zeros) and "" otherwise.
  bool requiresDNS() const;
  std::string DNSAddress() const;
  std::string QOSRating() const { return field(21); }
  std::string supportPhone() const { return field(22); }
  std::string supportMessage() const { return field(23); }
  // Field 24 exactly "1".
  bool allCity() const { return fieldBytes(24) == "1"; }
  // The same of the primary record (what the filters read); known without a scan for POPs built
  // by an index build.
  bool primaryAllCity() const;
  // Whether the primary record's region (field 1) or city (field 2) is `value`; for POPs built by an
  // index build most mismatches are found from a fingerprint without reading the record.
  bool primaryRegionIs(std::string_view value) const { return primaryFieldIs(1, value, mRegionHash); }
  bool primaryCityIs(std::string_view value) const { return primaryFieldIs(2, value, mCityHash); }
  std::string mediaType() const { return field(26); }
  std::string billingCode() const { return field(27); }
  std::string accessProcedure() const { return field(29); }
  std::string bbSpeed() const { return field(30); }
  std::string siteName() const { return field(31); }
  std::string siteType() const { return field(32); }
  std::string siteAddress() const { return field(33); }
  std::string sitePhone() const { return field(34); }

  std::optional<std::string> countryName() const;
  std::optional<std::string> regionName() const;
  // "city, region name, country name"; an unknown region or country shows as "".
  std::string location() const;
  // The primary record comes from the second loaded file (cbook.txt) or later.
  bool isCustomerPOP() const { return mLineCount && mLines[0].index() >= 1; }
  std::optional<std::string> ssidString() const;
  std::optional<std::string> wepKey() const;

  // Order by ID: 1 when other is null; else the plain byte order of the two IDs (shorter first).
  int comparePopID(const POP* other) const;
  // Same book, same ID, its own copy of the records; current record 0.
  std::shared_ptr<POP> copy() const;
  // "POP: <id>" and three lines per record; absent values print as "(null)".
  std::string description() const;

 private:
  friend struct phonebook_detail::PopStore;
  friend class PhoneBook;
  void setID(std::string_view id);
  void takeOwnLines();
  bool primaryFieldIs(int n, std::string_view value, uint32_t hash) const;

  std::weak_ptr<PhoneBook> mPhoneBook;
  // Keeps the phone file's bytes (the records point into them) alive.
  std::shared_ptr<const void> mBytes;
  const LineEntry* mLines = nullptr;  // into mOwnLines, or into the store of a bulk-built index
  std::vector<LineEntry> mOwnLines;
  uint32_t mLineCount = 0;
  uint32_t mCurrentLine = 0;
  uint32_t mAccessType = 0;
  uint8_t mIDLength = 0;        // 255: the ID is in mLongID
  uint8_t mPrimaryAllCity = 0;  // 0 not known (nor are the hashes), 1 no, 2 yes
  uint32_t mRegionHash = 0;
  uint32_t mCityHash = 0;
  char mID[64] = {};
  std::unique_ptr<std::string> mLongID;
};

using POPRef = std::shared_ptr<POP>;

}  // namespace zavro
