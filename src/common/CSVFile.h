// Reader of every comma-separated file: lines found once at load, fields found on demand in the bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zavro {

// One loaded file's bytes, never changed after load; line entries point into it.
class DataBlock {
 public:
  static std::shared_ptr<const DataBlock> fromBytes(std::string_view bytes);
  // The whole file, or null when it cannot be read.
  static std::shared_ptr<const DataBlock> fromFile(const std::string& path);

  const char* data() const { return mData.get(); }
  size_t size() const { return mSize; }
  std::string_view view() const { return {mData.get(), mSize}; }

 private:
  std::unique_ptr<char[]> mData;
  size_t mSize = 0;
};

// One line of a loaded block. Does not own its bytes: the CSVFile that made it (or a copy) keeps the
// block alive.
class LineEntry {
 public:
  LineEntry() = default;
  static LineEntry withStart(int start, int length, int index, const char* ptr) {
    LineEntry e;
    e.mStart = start;
    e.mLength = length;
    e.mIndex = index;
    e.mPtr = ptr;
    return e;
  }
  int start() const { return mStart; }
  int length() const { return mLength; }
  int index() const { return mIndex; }
  const char* ptr() const { return mPtr; }
  std::string_view bytes() const { return {mPtr, static_cast<size_t>(mLength)}; }

 private:
  int mStart = 0;
  int mLength = 0;
  int mIndex = 0;
  const char* mPtr = nullptr;
};

// A field's bytes inside its line (no copy). `data` is null when the line has no such field.
struct FieldRef {
  const char* data = nullptr;
  int length = 0;
  bool present() const { return data != nullptr; }
  std::string_view view() const { return data ? std::string_view(data, static_cast<size_t>(length)) : std::string_view(); }
};

class CSVFile {
 public:
  using BlockList = std::vector<std::shared_ptr<const DataBlock>>;
  // Comparison for sortUsingFunction: negative, zero or positive like strcmp.
  using CompareFunction = int (*)(const LineEntry&, const LineEntry&, void* context);

  CSVFile();
  // A copy shares the data blocks (the same block list) and takes a new line list holding the same
  // entries: changing the copy's lines leaves the source untouched.
  CSVFile(const CSVFile& other);
  CSVFile& operator=(const CSVFile&) = delete;

  static std::shared_ptr<CSVFile> fileWithPath(const std::string& path);
  static std::shared_ptr<CSVFile> fileWithURL(const std::string& url);
  static std::shared_ptr<CSVFile> fileWithData(std::string_view bytes);
  std::shared_ptr<CSVFile> copy() const { return std::make_shared<CSVFile>(*this); }

  // A file that cannot be read loads nothing. URLs: file:// or plain paths.
  void loadWithPath(const std::string& path);
  void loadWithURL(const std::string& url);
  void loadWithData(std::string_view bytes);
  void loadWithBlock(std::shared_ptr<const DataBlock> block);

  int count() const { return static_cast<int>(mLines.size()); }
  uint32_t version() const { return mVersion; }

  // Positions must lie in [0, count()); these are caller errors otherwise (asserted in debug builds).
  const LineEntry& getLine(int i) const;
  // Null when there is no entry i.
  const char* getLineBuffer(int i, int& length) const;
  std::optional<std::string> getLineAsString(int i) const;
  std::optional<std::string> getLineAsData(int i) const { return getLineAsString(i); }
  const char* lineBytes(const LineEntry& entry) const { return entry.ptr(); }
  int lineIndex(int i) const { return getLine(i).index(); }

  const std::vector<LineEntry>& lines() const { return mLines; }
  void setLines(std::vector<LineEntry> lines) { mLines = std::move(lines); }
  void removeLine(int i);
  // Stable: lines that compare equal keep their order.
  void sortUsingFunction(CompareFunction compare, void* context);
  template <typename Less>
  void sortLines(Less less);

  // Field n (from 0) of a line, pointing into the loaded bytes.
  static FieldRef field(int n, const LineEntry& entry);
  const char* getFieldBytes(int n, const LineEntry& entry, int& length) const;
  std::string getFieldAsString(int n, const LineEntry& entry) const;
  std::string getFieldAsString(int n, int i) const { return getFieldAsString(n, getLine(i)); }
  long getFieldAsInt(int n, const LineEntry& entry) const;
  long getFieldAsInt(int n, int i) const { return getFieldAsInt(n, getLine(i)); }

  std::vector<std::string> getArrayForLineEntry(const LineEntry& entry) const;
  std::vector<std::string> getArrayForLine(int i) const { return getArrayForLineEntry(getLine(i)); }
  std::vector<std::vector<std::string>> getArray() const;
  // Field n of each line → that line's fields; a later line replaces an earlier one with the same key.
  std::map<std::string, std::vector<std::string>> getDictionaryWithKey(int n) const;
  // Splits into at most `maxFields` fields; unused slots up to maxFields get null and 0. Returns the
  // number of fields found.
  int getFieldInfoForLineEntry(const LineEntry& entry, const char** fieldStarts, int* fieldLengths,
                               int maxFields) const;

  const std::shared_ptr<BlockList>& contentsArray() const { return mContents; }

 private:
  std::shared_ptr<BlockList> mContents;
  std::vector<LineEntry> mLines;
  uint32_t mVersion = 0;
};

// strtol in base 0 over exactly these bytes (never beyond): sign, 0x hex, leading-0 octal, decimal;
// stops at the first byte that cannot continue the number; clamps to the long range.
long parseIntegerBase0(std::string_view bytes);

template <typename Less>
void CSVFile::sortLines(Less less) {
  std::stable_sort(mLines.begin(), mLines.end(), less);
}

}  // namespace zavro
