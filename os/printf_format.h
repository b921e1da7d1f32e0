// Lets the compiler check printf-style calls against the formatter that runs them.
#pragma once

#if defined(__MINGW32__)
#define OS_PRINTF_FORMAT(formatIndex, firstArg) \
    __attribute__((format(gnu_printf, formatIndex, firstArg)))
#elif defined(__GNUC__)
#define OS_PRINTF_FORMAT(formatIndex, firstArg) \
    __attribute__((format(printf, formatIndex, firstArg)))
#else
#error "Unsupported compiler"
#endif
