#pragma once

// What the SDK agreement files share: a list of names expanded once per name,
// and a record compared with the SDK's.
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

// A record of namespace `ours` against the SDK's record of the same name: its
// size and alignment, and the offset and size of each listed field.
#define TARSEL_SAME_FIELD(ours, type, field)                                                                          \
    static_assert(offsetof(ours::type, field) == offsetof(::type, field), #type "::" #field ": offset differs");      \
    static_assert(sizeof(ours::type::field) == sizeof(::type::field), #type "::" #field ": size differs");
#define TARSEL_SAME_RECORD(ours, type, ...)                                                                           \
    static_assert(sizeof(ours::type) == sizeof(::type), #type ": size differs");                                      \
    static_assert(alignof(ours::type) == alignof(::type), #type ": alignment differs");                               \
    TARSEL_FOR_EACH(TARSEL_SAME_FIELD, (ours, type), __VA_ARGS__)
