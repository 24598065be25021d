// CNoCopy: a private base for the test helpers that own something (a
// process, a thread, a directory, a window): they can be neither copied nor
// assigned.
#ifndef QEL_TESTS_NOCOPY_H
#define QEL_TESTS_NOCOPY_H

class CNoCopy {
protected:
    CNoCopy() = default;
    ~CNoCopy() = default;

public:
    CNoCopy(const CNoCopy&) = delete;
    CNoCopy& operator=(const CNoCopy&) = delete;
};

#endif
