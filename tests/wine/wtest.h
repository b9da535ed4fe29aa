// A minimal test framework for the Win32 test programs run under Wine.
// The summary line "N passed, N failed" is what CI reads.
#pragma once
#include <cstdio>
#include <string>

namespace wtest {

struct Case {
    const char* name;
    void (*run)();
    Case* next;
};

Case*& Registry();
int& Failures();   // failed checks of the running case
void Fail(const char* file, int line, const std::string& what);
// Marks the running case as skipped, with the reason shown on its line;
// the summary line counts it. For a case that cannot run on this platform.
void Skip(const std::string& reason);
int RunAll(int argc, char** argv); // argv[1..]: name filters (substring)

// A child program inside the test program: started with
// "--child NAME args..." the program runs NAME instead of the cases and
// exits with its result. Lets a case start a helper process of its own.
struct Child {
    const char* name;
    int (*run)(int argc, char** argv); // argv[0] is the child's name
    Child* next;
};
Child*& Children();
// The command line that starts child `name` of this program (quoted path).
std::string ChildCommand(const char* name);

struct ChildRegistrar {
    Child entry;
    ChildRegistrar(const char* name, int (*run)(int, char**))
        : entry{name, run, Children()}
    {
        Children() = &entry;
    }
};

struct Registrar {
    Case entry;
    Registrar(const char* name, void (*run)()) : entry{name, run, Registry()}
    {
        Registry() = &entry;
    }
};

} // namespace wtest

#define WTEST(name)                                                     \
    static void wtest_##name();                                         \
    static wtest::Registrar wtest_reg_##name(#name, wtest_##name);      \
    static void wtest_##name()

#define WTEST_CHILD(name)                                                    \
    static int wtest_child_##name(int argc, char** argv);                    \
    static wtest::ChildRegistrar wtest_child_reg_##name(#name,               \
                                                        wtest_child_##name); \
    static int wtest_child_##name(int argc, char** argv)

#define CHECK(cond)                                                     \
    do {                                                                \
        if (!(cond)) wtest::Fail(__FILE__, __LINE__, #cond);            \
    } while (0)

#define CHECK_EQ(a, b)                                                  \
    do {                                                                \
        auto wtest_a = (a);                                             \
        auto wtest_b = (b);                                             \
        if (!(wtest_a == wtest_b))                                      \
            wtest::Fail(__FILE__, __LINE__,                             \
                        std::string(#a " == " #b ": got [") +           \
                            wtest::Show(wtest_a) + "] vs [" +           \
                            wtest::Show(wtest_b) + "]");                \
    } while (0)

// Skips the rest of the case, saying why.
#define SKIP(reason)                                                    \
    do {                                                                \
        wtest::Skip(reason);                                            \
        return;                                                         \
    } while (0)

// Stops the case when the check fails (later steps would only add noise).
#define REQUIRE(cond)                                                   \
    do {                                                                \
        if (!(cond)) {                                                  \
            wtest::Fail(__FILE__, __LINE__, #cond);                     \
            return;                                                     \
        }                                                               \
    } while (0)

namespace wtest {
inline std::string Show(const std::string& s) { return s; }
inline std::string Show(const char* s) { return s ? s : "(null)"; }
template <class T> std::string Show(const T& v) { return std::to_string(v); }
} // namespace wtest
