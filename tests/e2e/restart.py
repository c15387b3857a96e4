"""Closing with "X" and starting again restores the project."""

import os

from velmora_e2e import E2EFailure, run

CAPTION = "Vostrel Velmora QS48203 DeviceNet-m / Modbus-s"


def scenario(s):
    main = s.start()
    if main.name != CAPTION:
        raise E2EFailure(f"first start shows '{main.name}'")
    s.press(main, "New project")
    dialog = s.window("New project")
    s.fill(s.find(dialog, "text", "Project name"), "Plant1")
    s.press(dialog, "OK")
    s.gone(dialog)
    s.window(CAPTION + " :Plant1")
    s.press(main, "X")
    if s.wait_exit() != 0:
        raise E2EFailure("velmora did not end cleanly at X")
    settings = open(os.path.join(s.install_folder(), "Velmora_DNETM2MRTUs.ini")).read()
    if "projectname=Plant1" not in settings:
        raise E2EFailure(f"settings file holds {settings!r}")

    s.start()
    s.window(CAPTION + " :/Plant1")


run(scenario)
