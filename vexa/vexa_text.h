// Vexa's small text functions. (The support library is completed by its own work.)
#ifndef OM_VEXA_TEXT_H
#define OM_VEXA_TEXT_H

#include <stdint.h>

int32_t TextLength(const char* text);

#endif
