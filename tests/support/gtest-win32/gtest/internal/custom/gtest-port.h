// GoogleTest's port customization for our Windows builds (win32 thread
// model, see cmake/mingw-common.cmake): GoogleTest's own Notification is
// built on std::mutex and std::condition_variable, which that model lacks, so
// it gets this one, on a Win32 event (notification.cpp). Everything else of
// its Windows port (Mutex, ThreadLocal) is already its own Win32 code.
#ifndef QEL_GTEST_CUSTOM_GTEST_PORT_H
#define QEL_GTEST_CUSTOM_GTEST_PORT_H

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

// Lets a controller thread hold back the threads it starts until Notify().
class Notification {
public:
    Notification();
    ~Notification();
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify();
    void WaitForNotification();

private:
    void* m_event;  // a manual-reset event
};

}  // namespace internal
}  // namespace testing

#endif
