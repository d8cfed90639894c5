#include "rtdc/hdf5lock.h"

#include <H5Cpp.h>

#include <atomic>
#include <exception>
#include <iostream>
#include <new>

namespace Tessary {

std::recursive_mutex hdf5Mutex;

namespace {
std::atomic<bool> errorPrintingOff{false};
thread_local bool errorPrintingOffInThread = false;

void switchOffInThisThread()
{
    // The thread-safe library keeps the automatic error printer per thread.
    H5::Exception::dontPrint();
    errorPrintingOffInThread = true;
}
} // namespace

void disableHdf5ErrorPrinting()
{
    std::lock_guard<std::recursive_mutex> lock(hdf5Mutex);
    errorPrintingOff = true;
    switchOffInThisThread();
}

Hdf5Lock::Hdf5Lock()
{
    hdf5Mutex.lock();
    if (!errorPrintingOffInThread && errorPrintingOff.load(std::memory_order_relaxed))
        switchOffInThisThread();
}

Hdf5Lock::~Hdf5Lock()
{
    hdf5Mutex.unlock();
}

void reportHdf5Failure(const std::string& prefix)
{
    std::string detail;
    try {
        throw;
    } catch (const H5::Exception& e) {
        detail = e.getDetailMsg();
    } catch (const std::bad_alloc&) {
        detail = "not enough memory for the sizes stored in the file";
    } catch (const std::exception& e) {
        detail = e.what();
    } catch (...) {
        detail = "unknown failure";
    }
    std::cerr << (prefix + detail + "\n") << std::flush;
}

} // namespace Tessary
