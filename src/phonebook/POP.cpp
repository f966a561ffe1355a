// POP: records, field accessors, derived names, ID order, copies and the description.
#include "phonebook/POP.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "common/LogFile.h"
#include "phonebook/FieldScan.h"
#include "phonebook/PhoneBook.h"

namespace zavro {

namespace {

// Four dot-separated decimal numbers from 0 to 255, each of 1-3 digits without a leading zero.
bool isDottedIPv4(std::string_view s) {
  int parts = 0;
  size_t i = 0;
  while (parts < 4) {
    size_t start = i;
    int value = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 3) {
      value = value * 10 + (s[i] - '0');
      ++i;
    }
    const size_t digits = i - start;
    if (digits == 0 || value > 255 || (digits > 1 && s[start] == '0')) {
      return false;
    }
    ++parts;
    if (parts < 4) {
      if (i >= s.size() || s[i] != '.') {
        return false;
      }
      ++i;
    }
  }
  return i == s.size();
}

std::string orNull(const std::optional<std::string>& s) {
  return s ? *s : std::string("(null)");
}

}  // namespace

double phonebook_detail::parseRate(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) {
    ++i;
  }
  if (i < s.size() && s[i] == '+') {
    ++i;
  }
  // Only a plain decimal number; from_chars would also take "nan" and "inf".
  size_t j = i;
  if (j < s.size() && s[j] == '-') {
    ++j;
  }
  if (j >= s.size() || !((s[j] >= '0' && s[j] <= '9') || s[j] == '.')) {
    return 0.0;
  }
  double value = 0.0;
  auto result = std::from_chars(s.data() + i, s.data() + s.size(), value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // A huge exponent: keep the sign so it still orders sensibly; a tiny one is 0.
    const bool negative = s[i] == '-';
    std::string_view rest(s.data() + i, s.size() - i);
    const size_t e = rest.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && e + 1 < rest.size() && rest[e + 1] == '-';
    return tiny ? 0.0 : (negative ? -HUGE_VAL : HUGE_VAL);
  }
  return result.ec == std::errc() ? value : 0.0;
}

std::shared_ptr<POP> POP::popWithPhoneBook(const std::shared_ptr<PhoneBook>& book, std::string_view popID,
                                           const LineEntry& line) {
  auto pop = std::make_shared<POP>();
  pop->setPhoneBook(book, popID);
  pop->addLine(line);
  pop->cacheAccessType();
  return pop;
}

void POP::setPhoneBook(const std::shared_ptr<PhoneBook>& book, std::string_view popID) {
  mPhoneBook = book;
  if (book && book->phoneFile()) {
    mBytes = book->phoneFile()->contentsArray();
  }
  setID(popID);
}

void POP::setID(std::string_view id) {
  if (id.size() < sizeof mID) {
    std::memcpy(mID, id.data(), id.size());
    mID[id.size()] = '\0';
    mIDLength = static_cast<uint8_t>(id.size());
    mLongID.reset();
  } else {
    mID[0] = '\0';
    mIDLength = 255;
    mLongID = std::make_unique<std::string>(id);
  }
}

std::string_view POP::popID() const {
  if (mIDLength == 255) {
    return *mLongID;
  }
  return {mID, mIDLength};
}

void POP::takeOwnLines() {
  if (mLines != mOwnLines.data() || mOwnLines.size() != mLineCount) {
    mOwnLines.assign(mLines, mLines + mLineCount);
    mLines = mOwnLines.data();
  }
}

void POP::addLine(const LineEntry& line) {
  takeOwnLines();
  mOwnLines.push_back(line);
  mLines = mOwnLines.data();
  mLineCount = static_cast<uint32_t>(mOwnLines.size());
}

void POP::cacheAccessType() {
  mAccessType = static_cast<uint32_t>(fieldAsInt(28));
}

void POP::setCurrentLine(unsigned i) {
  if (i < mLineCount) {
    mCurrentLine = i;
  }
}

bool POP::setLineWithMediaType(std::string_view mediaType) {
  for (uint32_t i = 0; i < mLineCount; ++i) {
    if (CSVFile::field(26, mLines[i]).view() == mediaType) {
      mCurrentLine = i;
      return true;
    }
  }
  return false;
}

std::string_view POP::fieldBytes(int n) const {
  if (mCurrentLine >= mLineCount) {
    return {};
  }
  return CSVFile::field(n, mLines[mCurrentLine]).view();
}

long POP::fieldAsInt(int n) const {
  return parseIntegerBase0(fieldBytes(n));
}

double POP::rateValue() const {
  return phonebook_detail::parseRate(fieldBytes(14));
}

bool POP::primaryAllCity() const {
  if (mPrimaryAllCity) {
    return mPrimaryAllCity == 2;
  }
  return mLineCount && CSVFile::field(24, mLines[0]).view() == "1";
}

bool POP::primaryFieldIs(int n, std::string_view value, uint32_t hash) const {
  if (mPrimaryAllCity && phonebook_detail::fieldHash(value) != hash) {
    return false;
  }
  return mLineCount && CSVFile::field(n, mLines[0]).view() == value;
}

bool POP::requiresDNS() const {
  std::string_view f = fieldBytes(20);
  return f == "1" || isDottedIPv4(f);
}

std::string POP::DNSAddress() const {
  std::string_view f = fieldBytes(20);
  return isDottedIPv4(f) ? std::string(f) : std::string();
}

std::optional<std::string> POP::countryName() const {
  return PhoneBook::countryNameForCode(fieldBytes(0));
}

std::optional<std::string> POP::regionName() const {
  return PhoneBook::regionNameForCode(fieldBytes(1));
}

std::string POP::location() const {
  std::string out(fieldBytes(2));
  out += ", ";
  out += regionName().value_or("");
  out += ", ";
  out += countryName().value_or("");
  return out;
}

std::optional<std::string> POP::ssidString() const {
  auto ssid = PhoneBook::getSSID(fieldBytes(5));
  if (!ssid) {
    return std::nullopt;
  }
  return ssid->ssid();
}

std::optional<std::string> POP::wepKey() const {
  auto ssid = PhoneBook::getSSID(fieldBytes(5));
  if (!ssid) {
    return std::nullopt;
  }
  return ssid->wepKey();
}

int POP::comparePopID(const POP* other) const {
  if (other == nullptr) {
    return 1;
  }
  return phonebook_detail::compareBytes(popID(), other->popID());
}

std::shared_ptr<POP> POP::copy() const {
  auto out = std::make_shared<POP>();
  out->mPhoneBook = mPhoneBook;
  out->mBytes = mBytes;
  out->setID(popID());
  out->mOwnLines.assign(mLines, mLines + mLineCount);
  out->mLines = out->mOwnLines.data();
  out->mLineCount = mLineCount;
  out->mAccessType = mAccessType;
  return out;
}

std::string POP::description() const {
  std::string out = "POP: " + std::string(popID()) + "\n";
  POP& self = const_cast<POP&>(*this);  // the current record is restored below
  const uint32_t saved = mCurrentLine;
  const auto ssid = ssidString();
  for (uint32_t i = 0; i < mLineCount; ++i) {
    self.mCurrentLine = i;
    out +=
        orNull(countryName()) + ", " + orNull(regionName()) + ", " + city() + ", " + areaCode() + ", " + phone() + "\n";
    out += "Billing: " + billingCode() + ", Pricing: " + mediaType() + ", Rate: " + rate() + "\n";
    out += "Modem: " + modemSpeed() +
           ", Access: " + stringWithFormat("0x%4.4lx", static_cast<unsigned long>(mAccessType)) +
           ", BBSpeed: " + bbSpeed() + ", Access: " + accessProcedure() + ", SSID: " + orNull(ssid) + "\n";
  }
  self.mCurrentLine = saved;
  return out;
}

}  // namespace zavro
