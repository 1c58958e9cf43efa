#pragma once

// Lets the SDK agreement files list a record's fields, or a set of names, once.
// FOR_EACH(macro, (fixed...), a, b, ...) expands to macro(fixed..., a)
// macro(fixed..., b) ...
#define TARSEL_EXPAND(...) TARSEL_EXPAND3(TARSEL_EXPAND3(TARSEL_EXPAND3(TARSEL_EXPAND3(__VA_ARGS__))))
#define TARSEL_EXPAND3(...) TARSEL_EXPAND2(TARSEL_EXPAND2(TARSEL_EXPAND2(TARSEL_EXPAND2(__VA_ARGS__))))
#define TARSEL_EXPAND2(...) TARSEL_EXPAND1(TARSEL_EXPAND1(TARSEL_EXPAND1(TARSEL_EXPAND1(__VA_ARGS__))))
#define TARSEL_EXPAND1(...) __VA_ARGS__
#define TARSEL_UNPACK(...) __VA_ARGS__
#define TARSEL_CALL(macro, ...) macro(__VA_ARGS__)
#define TARSEL_PARENS ()
#define TARSEL_FOR_EACH(macro, fixed, ...) __VA_OPT__(TARSEL_EXPAND(TARSEL_FOR_EACH_STEP(macro, fixed, __VA_ARGS__)))
#define TARSEL_FOR_EACH_STEP(macro, fixed, first, ...)                                                                 \
    TARSEL_CALL(macro, TARSEL_UNPACK fixed, first)                                                                     \
    __VA_OPT__(TARSEL_FOR_EACH_AGAIN TARSEL_PARENS(macro, fixed, __VA_ARGS__))
#define TARSEL_FOR_EACH_AGAIN() TARSEL_FOR_EACH_STEP
