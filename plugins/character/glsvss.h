// Server-criteria values of a player: the request text a page sends ("[gx:x1] kills,
// deaths [gx] rank"), the list of values it names, and the result text the page gets back
// as the cookie "CHARGLSVSSDATA" ("[GX:X1]KILLS=12,DEATHS,[GX]RANK=3").
#ifndef OM_PLUGINS_CHARACTER_GLSVSS_H
#define OM_PLUGINS_CHARACTER_GLSVSS_H

#include <stdint.h>

namespace omcharacter {

enum { GlsvssNameSize = 32, GlsvssCapacity = 32 };

// One requested value: its product and expansion group, the statistics variable, the value.
struct GlsvssEntry {
  char pload[GlsvssNameSize];
  char expansion[GlsvssNameSize];
  char varname[GlsvssNameSize];
  int32_t value;
};

struct GlsvssList {
  int32_t count;
  int32_t capacity;
  GlsvssEntry entries[GlsvssCapacity];
};

// An empty list with room for 32 entries.
void ClearGlsvssList(GlsvssList& list);

// Reads the items of a request text into the list, upper-cased, each text cut to 31
// characters. 0 at the end of the text; -1 at a syntax error or at a 33rd item. What was
// stored before either stays in the list.
int32_t ParseGlsvssRequest(GlsvssList& list, const char* request);

// Writes the result text of the list. -1 when it does not fit in size bytes with its
// terminating zero (the output is then empty), else 0.
int32_t FormatGlsvssData(const GlsvssList& list, char* output, int32_t size);

}  // namespace omcharacter

#endif
