#include "image/project_checker.h"

#include <string>

#include "documents/comm_settings.h"
#include "documents/comm_settings_format.h"
#include "documents/integer_text.h"
#include "documents/xml_document.h"
#include "image/image_format.h"
#include "image/parameter_block.h"

namespace velmora::project_check_internal {

namespace fmt = image_format;

void ProjectChecker::checkSettings() {
    const CommSettingsReading reading = readCommSettingsFile(dir_ / fmt::kParGenFile);
    if (!usable(fmt::kParGenFile, reading.document, "the image has no parameter block")) return;
    // Every value that the composer needs as an integer text.
    for (const fmt::ParameterSlot& slot : fmt::kParameterBlock) {
        if (slot.requiredSetting() == nullptr) continue;
        const ReadResult& fault = reading[*slot.requiredSetting()].result;
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
        const CommField& field;
        const char* element;
        const std::string& text;
        const char* code;
        const char* range;
    } ids[] = {
        {dnetOnly, commField(&CommSettings::dnetDeviceId), comm_settings_format::kDnetDeviceId,
         settings.dnetDeviceId, "device-id-range", "0 to 63"},
        {serialOnly, commField(&CommSettings::serialDeviceId),
         comm_settings_format::kSerialDeviceId, settings.serialDeviceId, "serial-id-range",
         "1 to 247"},
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
    // The dialog takes the hardware variant as text ("1" alone is QH48203-B2), the composer
    // as a number: "01" or "0x1" reads as QH48203-A1 in the dialog, but the device gets B2.
    const CommField& hardwareField = commField(kHardwareList);
    if (const auto& hardware = reading[hardwareField]; hardware.text && hardware.integer) {
        const auto shown = hardwareField.chosenBy(hardware);
        if (hardwareField.offers(*hardware.integer) && shown != hardware.integer) {
            problems_.add(Severity::Warning, fmt::kParGenFile, "", 0, hardwareField.element,
                          "hardware-read-differently",
                          std::string(hardwareField.element) + " " + quotedValue(*hardware.text) +
                              " reads as " + std::string(*hardwareField.labelOf(*shown)) +
                              " in the dialog, but the device gets " +
                              std::string(*hardwareField.labelOf(*hardware.integer)) + " (" +
                              std::to_string(*hardware.integer) + ")");
        }
    }
    for (const CommField& field : kCommFields) {
        // A missing or non-integer value is the composer's to tell.
        const auto& value = reading[field].integer;
        if (!field.isList() || !value || field.offers(*value)) continue;
        std::string items;
        for (std::size_t at = 0; at < field.labels.size(); ++at) {
            items += (items.empty() ? "" : ", ") + std::to_string(at) + " = " +
                     std::string(field.labels[at]);
        }
        problems_.add(Severity::Error, fmt::kParGenFile, "", 0, field.element,
                      "setting-not-in-list",
                      std::string(field.element) + " " + std::to_string(*value) +
                          " is not in the list of " + std::string(field.what) + " (" + items + ")");
    }
}

}  // namespace velmora::project_check_internal
