#include "xml/XmlLibrary.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <atomic>
#include <mutex>

namespace Qel::Detail {
namespace {

std::atomic<std::uint64_t> g_refused{0};
std::mutex g_lastMutex;
std::string g_lastRefused;

// Refuses every load; libxml2 then goes on without the entity's content. The refusal is silent
// for the parser, so it is counted here.
xmlParserInputPtr RefuseExternalLoad(const char* url, const char* id, xmlParserCtxtPtr) {
  RecordRefusedLoad(url != nullptr ? url : id);
  return nullptr;
}

}  // namespace

void RecordRefusedLoad(const char* url) {
  g_refused.fetch_add(1, std::memory_order_relaxed);
  std::lock_guard<std::mutex> lock(g_lastMutex);
  g_lastRefused = url != nullptr ? url : "";
}

void InitXmlLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(RefuseExternalLoad);
  });
}

std::uint64_t RefusedExternalLoads() { return g_refused.load(std::memory_order_relaxed); }

std::string LastRefusedExternalLoad() {
  std::lock_guard<std::mutex> lock(g_lastMutex);
  return g_lastRefused;
}

}  // namespace Qel::Detail
