// The pugl backend of the frame window on Windows (PuglGdiBackend.c).
#pragma once

#include <pugl/pugl.h>

#ifdef __cplusplus
extern "C" {
#endif

const PuglBackend* qrxPuglGdiBackend(void);

#ifdef __cplusplus
}
#endif
