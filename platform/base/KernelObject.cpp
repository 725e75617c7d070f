// The table of live kernel objects, the handles that name them, CloseHandle,
// and the lock and condition that waits on them share.
#include "platform/base/KernelObject.h"

#include <set>
#include <atomic>
#include <unordered_map>

namespace zq {

namespace {

// The table has its own lock, so that a lookup never waits for a thread that
// holds KernelLock() and the object code may look up handles under it.
struct HandleTable {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Handle values count up and are never reused, so a stale handle cannot
    // name a newer object. They are multiples of 4, as on Windows.
    uintptr_t next = 0x1000;
};

HandleTable& Table()
{
    static HandleTable* table = new HandleTable;  // lives until process end
    return *table;
}

}  // namespace

KernelObject::~KernelObject() = default;

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object)
{
    if (!object)
        return nullptr;
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle)
{
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.objects.end())
        return nullptr;
    return it->second;
}

size_t OpenHandleCount()
{
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    return table.objects.size();
}

std::mutex& KernelLock()
{
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

std::condition_variable& KernelCondition()
{
    static std::condition_variable* condition = new std::condition_variable;
    return *condition;
}

void NotifyKernelWaiters()
{
    KernelCondition().notify_all();
}

namespace {

struct InheritableTable {
    std::mutex mutex;
    std::set<int> descriptors;
};

InheritableTable& Inheritable()
{
    static InheritableTable* table = new InheritableTable;  // lives until process end
    return *table;
}

}  // namespace

void SetDescriptorInheritable(int descriptor, bool inheritable)
{
    InheritableTable& table = Inheritable();
    std::lock_guard<std::mutex> lock(table.mutex);
    if (inheritable)
        table.descriptors.insert(descriptor);
    else
        table.descriptors.erase(descriptor);
}

std::unique_lock<std::mutex> LockInheritableDescriptors(std::vector<int>& descriptors)
{
    InheritableTable& table = Inheritable();
    std::unique_lock<std::mutex> lock(table.mutex);
    descriptors.assign(table.descriptors.begin(), table.descriptors.end());
    return lock;
}

namespace {

std::atomic<BlockingWaitObserver> g_waitObserver{nullptr};

}  // namespace

void SetBlockingWaitObserver(BlockingWaitObserver observer)
{
    g_waitObserver = observer;
}

void TellBlockingWait(bool begins)
{
    if (BlockingWaitObserver observer = g_waitObserver.load())
        observer(begins);
}

}  // namespace zq

BOOL CloseHandle(HANDLE hObject)
{
    std::shared_ptr<zq::KernelObject> object;
    {
        auto& table = zq::Table();
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.objects.find(reinterpret_cast<uintptr_t>(hObject));
        if (it != table.objects.end()) {
            object = std::move(it->second);
            table.objects.erase(it);
        }
    }
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object->OnCloseHandle();
    return TRUE;
}
