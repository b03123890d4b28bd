#ifndef KSTANDIN_LINUX_STDDEF_H
#define KSTANDIN_LINUX_STDDEF_H

#include <stddef.h> /* offsetof, NULL */

#endif
