// Symbol export for the object model library.
#ifndef ORVEX_EXPORT_H
#define ORVEX_EXPORT_H

#if defined(ORVEX_MODEL_BUILD)
#define ORVEX_CXX_API __attribute__((visibility("default")))
#else
#define ORVEX_CXX_API
#endif

#endif
