#include "base/ResourceIds.h"

namespace Qel::Detail {

namespace {

struct TextResource {
  unsigned int id;
  const char* path;
};

// Language names by display language, and the names CLDR lacks, for every display language.
constexpr TextResource kTextResources[] = {
    {2000, "cldr/cs.json"},
    {2001, "cldr/de.json"},
    {2002, "cldr/en.json"},
    {2003, "cldr/es.json"},
    {2004, "cldr/fr.json"},
    {2005, "cldr/it.json"},
    {2006, "cldr/ja.json"},
    {2007, "cldr/pl.json"},
    {2008, "cldr/pt.json"},
    {2009, "cldr/ru.json"},
    {2010, "cldr/sv.json"},
    {2011, "cldr/zh-Hans.json"},
    {2012, "cldr/supplementary.json"},
};

}  // namespace

const char* TextResourcePath(unsigned int id) {
  for (const TextResource& resource : kTextResources) {
    if (resource.id == id) return resource.path;
  }
  return nullptr;
}

}  // namespace Qel::Detail
