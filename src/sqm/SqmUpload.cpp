// Upload of the collected SQM lines to the collection server: https first, then plain http.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "common/LogFile.h"
#include "net/HTTPTransaction.h"
#include "runtime/AtomicFile.h"
#include "sqm/SqmRecord.h"

namespace zavro {

namespace {

bool readWhole(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

long post(HTTPTransaction& transaction, const std::string& url, const std::string& body) {
  transaction.setupRequestForURL(url, "POST");
  transaction.setRequestBody(body);
  return transaction.performTransaction(true);
}

}  // namespace

void SqmRecord::uploadDataToServer() {
  const std::string server = serverURL();
  const std::string path = sqmPath(0, "SqmData.txt");
  if (!sendDataToServer() || server.empty() || ::access(path.c_str(), F_OK) != 0) {
    return;
  }
  auto lock = acquireSharedLockForFile("SqmData.txt");
  std::string body;
  if (!readWhole(path, body) || body.empty()) {
    return;
  }
  auto transaction = HTTPTransaction::transaction();
  long status = post(*transaction, "https://" + server, body);
  if (status / 100 != 2) {
    status = post(*transaction, "http://" + server, body);
    if (status / 100 != 2) {
      return;  // the file stays for the next upload
    }
  }
  // Accepted. A slow upload can outlive the lock (waiters break it after 5 seconds) and another
  // process may have appended lines meanwhile: remove only what was sent, keep the rest.
  std::string now;
  if (!readWhole(path, now) || now == body) {
    std::remove(path.c_str());
  } else if (now.compare(0, body.size(), body) == 0) {
    writeFileAtomically(path, now.substr(body.size()), 0644);
  }
}

}  // namespace zavro
