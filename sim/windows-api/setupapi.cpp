// SPDX-License-Identifier: GPL-2.0-only
// SetupAPI: the device-interface list of one class, enumerated by index,
// and each interface's device path (32-bit record sizes).
#include "internal.h"

#include <cstring>

using namespace standin;

namespace {

std::string guid_text(const GUID *g) {
    if (g == nullptr) {
        return "NULL";
    }
    if (same_guid(*g, usbprint_class)) {
        return "usbprint";
    }
    if (same_guid(*g, alt_class)) {
        return "alt";
    }
    return "other-class";
}

} // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID *class_guid, PCSTR enumerator, HWND parent,
                                     DWORD flags) {
    std::string args = guid_text(class_guid) + ", " + (enumerator ? enumerator : "NULL") + ", " +
                       (parent ? "hwnd" : "NULL") + ", " + hex(flags);
    // Only the present-interfaces query of one class is modelled.
    if (sys().class_devs_fails || class_guid == nullptr ||
        flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE) || enumerator != nullptr) {
        log_call("SetupDiGetClassDevsA", args, "INVALID_HANDLE_VALUE");
        fail(sys().class_devs_fails ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    Object set{};
    set.kind = Kind::device_set;
    set.name = "device set " + guid_text(class_guid);
    set.set_class = *class_guid;
    const auto &list = sys().interfaces;
    for (std::size_t i = 0; i < list.size(); i++) {
        if (same_guid(list[i].interface_class, *class_guid)) {
            set.members.push_back(i);
        }
    }
    HANDLE handle = new_handle(std::move(set));
    log_call("SetupDiGetClassDevsA", args, handle_text(handle));
    return handle;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device,
                                        const GUID *class_guid, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA interface_data) {
    // Called once per member, thousands of times for a set whose every
    // member fails: the arguments are written out only while the log has room.
    auto result = [&](BOOL ok, DWORD error) {
        std::string args;
        if (sys().calls.size() < sys().max_logged_calls) {
            args = handle_text(set) + ", " + (device ? "devinfo" : "NULL") + ", " +
                   guid_text(class_guid) + ", " + std::to_string(index);
        }
        return log_bool("SetupDiEnumDeviceInterfaces", args, ok, error);
    };
    Object *object = find_handle(set);
    if (object == nullptr || object->kind != Kind::device_set) {
        return result(FALSE, ERROR_INVALID_HANDLE);
    }
    if (interface_data == nullptr || interface_data->cbSize != 28) {
        return result(FALSE, ERROR_INVALID_USER_BUFFER);
    }
    if (sys().enum_error_every != 0) {
        return result(FALSE, sys().enum_error_every);
    }
    if (class_guid == nullptr || !same_guid(*class_guid, object->set_class) ||
        index >= object->members.size()) {
        return result(FALSE, ERROR_NO_MORE_ITEMS);
    }
    const Interface &iface = sys().interfaces[object->members[index]];
    if (iface.enum_error != 0) {
        return result(FALSE, iface.enum_error);
    }
    interface_data->InterfaceClassGuid = iface.interface_class;
    interface_data->Flags = SPINT_ACTIVE;
    interface_data->Reserved = static_cast<DWORD>(object->members[index] + 1);
    return result(TRUE, 0);
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interface_data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                             DWORD detail_size, PDWORD required_size,
                                             PSP_DEVINFO_DATA device) {
    std::string args = handle_text(set) + ", " + (detail ? "detail" : "NULL") + ", " +
                       std::to_string(detail_size) + ", " + (device ? "devinfo" : "NULL");
    auto result = [&](BOOL ok, DWORD error) {
        return log_bool("SetupDiGetDeviceInterfaceDetailA", args, ok, error);
    };
    Object *object = find_handle(set);
    if (object == nullptr || object->kind != Kind::device_set) {
        return result(FALSE, ERROR_INVALID_HANDLE);
    }
    if (interface_data == nullptr || interface_data->cbSize != 28 ||
        interface_data->Reserved == 0 || interface_data->Reserved > sys().interfaces.size()) {
        return result(FALSE, ERROR_INVALID_PARAMETER);
    }
    const Interface &iface = sys().interfaces[interface_data->Reserved - 1];
    std::size_t path_bytes = iface.path.size() + (iface.unterminated_path ? 0 : 1);
    DWORD needed = static_cast<DWORD>(4 + path_bytes);
    if (detail == nullptr) {
        if (detail_size != 0) {
            return result(FALSE, ERROR_INVALID_USER_BUFFER);
        }
        if (iface.size_query_fails) {
            return result(FALSE, ERROR_GEN_FAILURE);
        }
        if (required_size != nullptr) {
            *required_size =
                iface.reported_size >= 0 ? static_cast<DWORD>(iface.reported_size) : needed;
        }
        args += " required=" + std::to_string(required_size ? *required_size : 0);
        return result(FALSE, ERROR_INSUFFICIENT_BUFFER);
    }
    // The 32-bit platform checks the fixed part's size, not the block's.
    if (detail->cbSize != 5) {
        return result(FALSE, ERROR_INVALID_USER_BUFFER);
    }
    if (detail_size < needed) {
        if (required_size != nullptr) {
            *required_size = needed;
        }
        return result(FALSE, ERROR_INSUFFICIENT_BUFFER);
    }
    if (iface.fetch_fails) {
        return result(FALSE, ERROR_GEN_FAILURE);
    }
    std::memcpy(detail->DevicePath, iface.path.c_str(), path_bytes);
    if (required_size != nullptr) {
        *required_size = needed;
    }
    return result(TRUE, 0);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    std::string args = handle_text(set);
    auto &handles = internal().handles;
    auto it = handles.find(reinterpret_cast<std::uintptr_t>(set));
    if (it == handles.end() || it->second.kind != Kind::device_set) {
        misuse("SetupDiDestroyDeviceInfoList(" + args + ") of no set");
        log_call("SetupDiDestroyDeviceInfoList", args, "FALSE");
        return fail(ERROR_INVALID_HANDLE);
    }
    handles.erase(it);
    log_call("SetupDiDestroyDeviceInfoList", args, "TRUE");
    return TRUE;
}

} // extern "C"
