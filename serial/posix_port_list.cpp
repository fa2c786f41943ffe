#include "serial/port_list.h"

#include <libudev.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "serial/udev_port.h"

namespace hlx::serial {
namespace {

struct UdevUnref {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevUnref>;

// The sysfs attributes the mapping reads, per kind of device.
constexpr const char* kTtyAttributes[] = {"type"};
constexpr const char* kUsbDeviceAttributes[] = {"idVendor", "idProduct", "manufacturer", "product", "serial"};

std::string text(const char* value) {
    return value == nullptr ? std::string() : std::string(value);
}

template <std::size_t N>
std::map<std::string, std::string> attributesOf(udev_device* device, const char* const (&names)[N]) {
    std::map<std::string, std::string> values;
    for (const char* name : names)
        if (const char* value = udev_device_get_sysattr_value(device, name)) values.emplace(name, value);
    return values;
}

UdevTty describe(udev_device* tty) {
    UdevTty record;
    record.sysname = text(udev_device_get_sysname(tty));
    record.devnode = text(udev_device_get_devnode(tty));
    record.attributes = attributesOf(tty, kTtyAttributes);
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(tty)) {
        record.properties.emplace(text(udev_list_entry_get_name(entry)),
                                  text(udev_list_entry_get_value(entry)));
    }
    udev_list_entry_foreach(entry, udev_device_get_devlinks_list_entry(tty)) {
        record.devlinks.push_back(text(udev_list_entry_get_name(entry)));
    }
    // Parents belong to the child: they are not unreferenced here.
    for (udev_device* parent = udev_device_get_parent(tty); parent != nullptr;
         parent = udev_device_get_parent(parent)) {
        UdevDevice device;
        device.subsystem = text(udev_device_get_subsystem(parent));
        device.devtype = text(udev_device_get_devtype(parent));
        device.driver = text(udev_device_get_driver(parent));
        if (device.subsystem == "usb" && device.devtype == "usb_device")
            device.attributes = attributesOf(parent, kUsbDeviceAttributes);
        record.parents.push_back(std::move(device));
    }
    return record;
}

}  // namespace

std::vector<PortInfo> listSerialPorts() {
    // libudev fills process-wide state of its own (random seeds) on first use without a lock, so two
    // threads listing at once (the jobs of a gang run recording their ports) take turns.
    static std::mutex udevInUse;
    std::lock_guard lock(udevInUse);
    std::vector<PortInfo> ports;
    UdevPtr<udev> context(udev_new());
    if (!context) return ports;
    UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0)
        return ports;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        UdevPtr<udev_device> tty(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!tty) continue;  // gone since the scan
        std::optional<PortInfo> info = portFromUdev(describe(tty.get()));
        if (!info) continue;
        info->accessible = ::access(info->device.c_str(), R_OK | W_OK) == 0;
        ports.push_back(std::move(*info));
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return portNameLess(a.device, b.device); });
    return ports;
}

}  // namespace hlx::serial
