#include "image/project_checker.h"

#include <string>

#include "documents/comm_lists.h"
#include "documents/comm_settings_format.h"
#include "documents/integer_text.h"
#include "documents/xml_document.h"
#include "image/image_format.h"

namespace velmora::project_check_internal {

namespace fmt = image_format;

void ProjectChecker::checkSettings() {
    const CommSettingsReading reading = readCommSettingsFile(dir_ / fmt::kParGenFile);
    if (!usable(fmt::kParGenFile, reading.document, "the image has no parameter block")) return;
    // Every value that the composer needs as an integer text.
    for (const CommField field : fmt::kRequiredSettings) {
        const ReadResult& fault = reading[field].result;
        if (!fault.ok()) valueError(fmt::kParGenFile, fault, std::string(fault.place.name));
    }
    const CommSettings settings = commSettingsFromReading(reading);
    gatewayId_ = parseIntegerText(settings.dnetDeviceId);
    // The dialog stops at its first failing check; each ID is checked here beside the
    // other's default so that both are told.
    const CommSettings defaults;
    CommSettings dnetOnly = defaults;
    dnetOnly.dnetDeviceId = settings.dnetDeviceId;
    CommSettings serialOnly = defaults;
    serialOnly.serialDeviceId = settings.serialDeviceId;
    const struct {
        CommSettings checked;
        CommField field;
        const char* element;
        const std::string& text;
        const char* code;
        const char* range;
    } ids[] = {
        {dnetOnly, kCommDnetDeviceId, comm_settings_format::kDnetDeviceId, settings.dnetDeviceId,
         "device-id-range", "0 to 63"},
        {serialOnly, kCommSerialDeviceId, comm_settings_format::kSerialDeviceId,
         settings.serialDeviceId, "serial-id-range", "1 to 247"},
    };
    for (const auto& id : ids) {
        // A value that is missing or no integer text was told above: one mistake, one problem.
        if (!reading[id.field].result.ok()) continue;
        // The dialog's own rule decides; the words are the check's.
        if (!commSettingsProblem(id.checked)) continue;
        const auto value = parseIntegerText(id.text);
        problems_.add(Severity::Error, fmt::kParGenFile, "", 0, id.element, id.code,
                      std::string(id.element) + " " +
                          (value ? std::to_string(*value) + " is outside " + id.range
                                 : quotedValue(id.text) + " is not an integer"));
    }
    checkListPositions(reading);
}

void ProjectChecker::checkListPositions(const CommSettingsReading& reading) {
    namespace format = comm_settings_format;
    // The dialog takes the hardware variant as text ("1" alone is QH48203-B2), the composer
    // as a number: "01" or "0x1" reads as QH48203-A1 in the dialog, but the device gets B2.
    if (const auto& hardware = reading[kCommHardware]; hardware.text) {
        const std::string& text = *hardware.text;
        const auto& [a1, b2] = kHardwareList.items;
        if (hardware.integer == b2.value && text != std::to_string(b2.value)) {
            problems_.add(Severity::Warning, fmt::kParGenFile, "", 0, format::kHardware,
                          "hardware-read-differently",
                          std::string(format::kHardware) + " " + quotedValue(text) + " reads as " +
                              std::string(a1.label) + " in the dialog, but the device gets " +
                              std::string(b2.label) + " (" + std::to_string(b2.value) + ")");
        }
    }
    const auto checkList = [&](const auto& list, CommField field) {
        // A missing or non-integer value is the composer's to tell.
        const auto& value = reading[field].integer;
        if (!value || list.contains(*value)) return;
        std::string items;
        for (const auto& item : list.items) {
            items += (items.empty() ? "" : ", ") + std::to_string(item.value) + " = " +
                     std::string(item.label);
        }
        problems_.add(Severity::Error, fmt::kParGenFile, "", 0, list.element, "setting-not-in-list",
                      std::string(list.element) + " " + std::to_string(*value) +
                          " is not in the list of " + std::string(list.what) + " (" + items + ")");
    };
    checkList(kDnetBaudList, kCommDnetBaud);
    checkList(kSerialBaudList, kCommSerialBaud);
    checkList(kSerialParityList, kCommSerialParity);
    checkList(kSerialLineList, kCommSerialLine);
    checkList(kSerialProtocolList, kCommSerialProtocol);
    checkList(kHardwareList, kCommHardware);
}

}  // namespace velmora::project_check_internal
