"""Closing with "X" and starting again restores the project."""

import os

from velmora_e2e import CAPTION, E2EFailure, expect_equal, run


def scenario(s):
    main = s.start()
    expect_equal("the caption at the first start", main.name, CAPTION)
    s.new_project(main, "Plant1")
    s.press(main, "X")
    expect_equal("velmora's exit status at X", s.wait_exit(), 0)
    with open(os.path.join(s.install_folder(), "Velmora_DNETM2MRTUs.ini")) as f:
        settings = f.read()
    if "projectname=Plant1" not in settings:
        raise E2EFailure(f"the settings file holds {settings!r}")

    s.start()
    s.window(CAPTION + " :/Plant1")


run(scenario)
