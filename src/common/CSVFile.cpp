// CSVFile: the line splitter, the field scanner and the integer reader.
#include "common/CSVFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>

namespace zavro {

std::shared_ptr<const DataBlock> DataBlock::fromBytes(std::string_view bytes) {
  auto block = std::make_shared<DataBlock>();
  block->mSize = bytes.size();
  block->mData.reset(new char[bytes.size() + 1]);
  if (!bytes.empty()) {
    std::memcpy(block->mData.get(), bytes.data(), bytes.size());
  }
  block->mData[bytes.size()] = '\0';
  return block;
}

std::shared_ptr<const DataBlock> DataBlock::fromFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  auto block = std::make_shared<DataBlock>();
  size_t capacity = static_cast<size_t>(st.st_size);
  // No zero-fill: a phonebook can be hundreds of megabytes and every byte is overwritten by read().
  block->mData.reset(new char[capacity + 1]);
  // Sorting and narrowing read the records in index order, which jumps all over the file: large
  // pages keep those reads from missing the address-translation cache. Only a hint.
  if (capacity >= (8u << 20)) {
    auto start = reinterpret_cast<uintptr_t>(block->mData.get());
    uintptr_t aligned = (start + 0x1FFFFF) & ~static_cast<uintptr_t>(0x1FFFFF);
    if (aligned < start + capacity) {
      ::madvise(reinterpret_cast<void*>(aligned), start + capacity - aligned, MADV_HUGEPAGE);
    }
  }
  size_t done = 0;
  for (;;) {
    if (done == capacity) {
      // The file grew while we read it: take the rest too.
      char probe[65536];
      ssize_t n = ::read(fd, probe, sizeof probe);
      if (n <= 0) {
        if (n < 0 && errno == EINTR) {
          continue;
        }
        break;
      }
      std::unique_ptr<char[]> bigger(new char[capacity + static_cast<size_t>(n) + 65536 + 1]);
      std::memcpy(bigger.get(), block->mData.get(), done);
      std::memcpy(bigger.get() + done, probe, static_cast<size_t>(n));
      block->mData = std::move(bigger);
      done += static_cast<size_t>(n);
      capacity = done + 65536;
      continue;
    }
    ssize_t n = ::read(fd, block->mData.get() + done, capacity - done);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      ::close(fd);
      return nullptr;
    }
    if (n == 0) {
      break;
    }
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  block->mSize = done;
  block->mData[done] = '\0';
  return block;
}

CSVFile::CSVFile() : mContents(std::make_shared<BlockList>()) {}

CSVFile::CSVFile(const CSVFile& other) : mContents(other.mContents), mLines(other.mLines), mVersion(other.mVersion) {}

std::shared_ptr<CSVFile> CSVFile::fileWithPath(const std::string& path) {
  auto file = std::make_shared<CSVFile>();
  file->loadWithPath(path);
  return file;
}

std::shared_ptr<CSVFile> CSVFile::fileWithURL(const std::string& url) {
  auto file = std::make_shared<CSVFile>();
  file->loadWithURL(url);
  return file;
}

std::shared_ptr<CSVFile> CSVFile::fileWithData(std::string_view bytes) {
  auto file = std::make_shared<CSVFile>();
  file->loadWithData(bytes);
  return file;
}

void CSVFile::loadWithPath(const std::string& path) { loadWithBlock(DataBlock::fromFile(path)); }

void CSVFile::loadWithURL(const std::string& url) {
  static constexpr std::string_view kFileScheme = "file://";
  if (url.compare(0, kFileScheme.size(), kFileScheme) == 0) {
    loadWithPath(url.substr(kFileScheme.size()));
  } else if (url.find("://") == std::string::npos) {
    loadWithPath(url);
  }
  // Other schemes are not read here: nothing is loaded, as for any unreadable resource.
}

void CSVFile::loadWithData(std::string_view bytes) {
  if (bytes.empty()) {
    return;
  }
  loadWithBlock(DataBlock::fromBytes(bytes));
}

namespace {

// The "#VER" number: leading white space, optional sign, decimal digits to the first other byte.
uint32_t versionNumber(const char* p, const char* end) {
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\v' || *p == '\f')) {
    ++p;
  }
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  uint64_t value = 0;
  while (p < end && *p >= '0' && *p <= '9') {
    value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(*p - '0'), UINT64_MAX / 20);
    ++p;
  }
  auto v = static_cast<uint32_t>(value);
  return negative ? static_cast<uint32_t>(0u - v) : v;
}

}  // namespace

void CSVFile::loadWithBlock(std::shared_ptr<const DataBlock> block) {
  if (!block || block->size() == 0) {
    return;  // no block number is used up
  }
  const int blockNumber = static_cast<int>(mContents->size());
  mContents->push_back(block);

  const char* const base = block->data();
  const char* const end = base + block->size();
  const char* p = base;
  // Counting the line feeds first costs one fast pass and saves both the reallocations and the
  // overshoot of a guessed capacity (the line list is the biggest structure of a loaded phonebook).
  size_t feeds = 0;
  for (const char* q = base; (q = static_cast<const char*>(std::memchr(q, '\n', static_cast<size_t>(end - q)))) != nullptr;
       ++q) {
    ++feeds;
  }
  mLines.reserve(mLines.size() + feeds + 1);
  // The next LF and the next CR at or after p, each found again only once p has passed it, so every
  // byte is scanned a bounded number of times whatever terminators the file uses (CR-only files
  // included).
  auto findFrom = [end](const char* from, char c) {
    const void* hit = std::memchr(from, c, static_cast<size_t>(end - from));
    return hit ? static_cast<const char*>(hit) : end;
  };
  const char* nextLF = findFrom(p, '\n');
  const char* nextCR = findFrom(p, '\r');
  while (p < end) {
    const char* lineStart = p;
    if (nextLF < p) {
      nextLF = findFrom(p, '\n');
    }
    if (nextCR < p) {
      nextCR = findFrom(p, '\r');
    }
    const char* lineEnd = nextLF < nextCR ? nextLF : nextCR;

    const char* next = lineEnd;
    if (next < end) {
      char t = *next++;
      if (next < end && (*next == '\r' || *next == '\n') && *next != t) {
        ++next;  // CR LF or LF CR: one terminator
      }
    }

    const auto length = static_cast<int>(lineEnd - lineStart);
    if (length > 0 && *lineStart == '#') {
      if (length >= 4 && std::memcmp(lineStart, "#VER", 4) == 0 && mVersion == 0) {
        mVersion = versionNumber(lineStart + 4, lineEnd);
      }
    } else {
      mLines.push_back(LineEntry::withStart(static_cast<int>(lineStart - base), length, blockNumber, lineStart));
    }
    p = next;
  }
}

const LineEntry& CSVFile::getLine(int i) const {
  assert(i >= 0 && i < count());
  return mLines[static_cast<size_t>(i)];
}

const char* CSVFile::getLineBuffer(int i, int& length) const {
  if (i < 0 || i >= count()) {
    length = 0;
    return nullptr;
  }
  const LineEntry& e = mLines[static_cast<size_t>(i)];
  length = e.length();
  return e.ptr();
}

std::optional<std::string> CSVFile::getLineAsString(int i) const {
  if (i < 0 || i >= count()) {
    return std::nullopt;
  }
  return std::string(mLines[static_cast<size_t>(i)].bytes());
}

void CSVFile::removeLine(int i) {
  assert(i >= 0 && i < count());
  mLines.erase(mLines.begin() + i);
}

void CSVFile::sortUsingFunction(CompareFunction compare, void* context) {
  std::stable_sort(mLines.begin(), mLines.end(),
                   [&](const LineEntry& a, const LineEntry& b) { return compare(a, b, context) < 0; });
}

namespace {

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Scans the fields of a line in order, calling visit(index, start, length) for each; stops when
// visit returns false. Returns the number of fields visited.
template <typename Visit>
int scanFields(const char* p, const char* end, Visit visit) {
  while (p < end && isBlank(*p)) {
    ++p;
  }
  if (p == end) {
    return 0;
  }
  int n = 0;
  for (;;) {
    while (p < end && isBlank(*p)) {
      ++p;
    }
    const char* valueStart;
    const char* valueEnd;
    if (p < end && *p == '"') {
      valueStart = p + 1;
      const void* q = std::memchr(valueStart, '"', static_cast<size_t>(end - valueStart));
      valueEnd = q ? static_cast<const char*>(q) : end;
    } else {
      valueStart = p;
      const void* c = std::memchr(valueStart, ',', static_cast<size_t>(end - valueStart));
      valueEnd = c ? static_cast<const char*>(c) : end;
    }
    bool more = visit(n, valueStart, static_cast<int>(valueEnd - valueStart));
    ++n;
    if (!more) {
      return n;
    }
    // Skip to the next comma (for a quoted value: past the closing quote and any stray text).
    const void* c = std::memchr(valueEnd, ',', static_cast<size_t>(end - valueEnd));
    if (c == nullptr) {
      return n;
    }
    p = static_cast<const char*>(c) + 1;
  }
}

}  // namespace

FieldRef CSVFile::field(int n, const LineEntry& entry) {
  FieldRef out;
  if (n < 0 || entry.ptr() == nullptr) {
    return out;
  }
  scanFields(entry.ptr(), entry.ptr() + entry.length(), [&](int i, const char* start, int length) {
    if (i == n) {
      out.data = start;
      out.length = length;
      return false;
    }
    return true;
  });
  return out;
}

const char* CSVFile::getFieldBytes(int n, const LineEntry& entry, int& length) const {
  FieldRef f = field(n, entry);
  length = f.length;
  return f.data;
}

std::string CSVFile::getFieldAsString(int n, const LineEntry& entry) const { return std::string(field(n, entry).view()); }

long CSVFile::getFieldAsInt(int n, const LineEntry& entry) const { return parseIntegerBase0(field(n, entry).view()); }

std::vector<std::string> CSVFile::getArrayForLineEntry(const LineEntry& entry) const {
  std::vector<std::string> out;
  if (entry.ptr() == nullptr) {
    return out;
  }
  scanFields(entry.ptr(), entry.ptr() + entry.length(), [&](int, const char* start, int length) {
    out.emplace_back(start, static_cast<size_t>(length));
    return true;
  });
  return out;
}

std::vector<std::vector<std::string>> CSVFile::getArray() const {
  std::vector<std::vector<std::string>> out;
  out.reserve(mLines.size());
  for (const auto& entry : mLines) {
    out.push_back(getArrayForLineEntry(entry));
  }
  return out;
}

std::map<std::string, std::vector<std::string>> CSVFile::getDictionaryWithKey(int n) const {
  std::map<std::string, std::vector<std::string>> out;
  for (const auto& entry : mLines) {
    auto fields = getArrayForLineEntry(entry);
    std::string key = n >= 0 && static_cast<size_t>(n) < fields.size() ? fields[static_cast<size_t>(n)] : std::string();
    out[key] = std::move(fields);
  }
  return out;
}

int CSVFile::getFieldInfoForLineEntry(const LineEntry& entry, const char** fieldStarts, int* fieldLengths,
                                      int maxFields) const {
  int found = 0;
  if (maxFields > 0 && entry.ptr() != nullptr) {
    scanFields(entry.ptr(), entry.ptr() + entry.length(), [&](int i, const char* start, int length) {
      fieldStarts[i] = start;
      fieldLengths[i] = length;
      found = i + 1;
      return found < maxFields;
    });
  }
  for (int i = found; i < maxFields; ++i) {
    fieldStarts[i] = nullptr;
    fieldLengths[i] = 0;
  }
  return found;
}

long parseIntegerBase0(std::string_view bytes) {
  const char* p = bytes.data();
  const char* end = p + bytes.size();
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')) {
    ++p;
  }
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  int base = 10;
  if (p < end && *p == '0') {
    if (end - p >= 3 && (p[1] == 'x' || p[1] == 'X') && std::isxdigit(static_cast<unsigned char>(p[2]))) {
      base = 16;
      p += 2;
    } else {
      base = 8;
    }
  }
  auto digit = [base](char c) -> int {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return -1;
    }
    return d < base ? d : -1;
  };
  unsigned long value = 0;
  bool overflow = false;
  const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1ul : static_cast<unsigned long>(LONG_MAX);
  for (; p < end; ++p) {
    int d = digit(*p);
    if (d < 0) {
      break;
    }
    if (!overflow) {
      if (value > (limit - static_cast<unsigned long>(d)) / static_cast<unsigned long>(base)) {
        overflow = true;
      } else {
        value = value * static_cast<unsigned long>(base) + static_cast<unsigned long>(d);
      }
    }
  }
  if (overflow) {
    return negative ? LONG_MIN : LONG_MAX;
  }
  if (negative) {
    return value == static_cast<unsigned long>(LONG_MAX) + 1ul ? LONG_MIN : -static_cast<long>(value);
  }
  return static_cast<long>(value);
}

}  // namespace zavro
