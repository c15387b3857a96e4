"""A wrong byte count in the DeviceNet grid and a register index used twice are refused with
their messages, and nothing refused is written."""

import os

from velmora_e2e import E2EFailure, expect_equal, run

GATEWAY_TITLE = "Firmware Velmora"


def scenario(s):
    main = s.start()
    s.new_project(main, "Refusal")
    network_file = s.project_file("Refusal", "DNET_Net.xml")

    s.press(main, "DeviceNet Network")
    dialog = s.window("DeviceNet Network")
    grid = s.find(dialog, "table", None)
    s.type_rows(grid, [{"ID": "5", "N BYTE IN": "456", "N BYTE OUT": "2"}])
    s.press(dialog, "OK")
    expect_equal("the message of the grid", s.message(),
                 ("Error", "Error in row 1!! Number Byte IN must be 0 or 455. "))
    if os.path.exists(network_file):
        raise E2EFailure("the refused grid was written")
    # The dialog is still open with the grid as typed: the count corrected, OK writes it.
    s.type_rows(grid, [{"ID": "5", "N BYTE IN": "4", "N BYTE OUT": "2"}])
    s.press(dialog, "OK")
    s.gone(dialog)
    expect_equal("DNET_Net.xml", s.wait_file(network_file),
                 b'<DNET_Net><row ID="5" NB_IN="4" NB_OUT="2" Mnemonic=""/></DNET_Net>')

    s.press(main, "Define Modbus")
    dialog = s.window("Modbus Registers Definition")
    s.new_register(dialog, "5\t2", "5", high="Byte1")
    s.press(dialog, "New")  # the same index again
    expect_equal("the message of the second register 5", s.message(),
                 (GATEWAY_TITLE, "Index or Subindex Not Valid"))
    registers = [i.name for i in s.all(s.field(dialog, "MODBUS"), "list item")]
    expect_equal("the registers of the node", registers, ["Ind Mb 0"])
    s.press(dialog, "OK")
    s.gone(dialog)
    expect_equal("DefReg.xml", s.wait_file(s.project_file("Refusal", "DefReg.xml")),
                 b'<InfoMod><Modbus_Read><row Index="5" NrDNNode="1" PosComp="65536"/>'
                 b'</Modbus_Read><Modbus_Write/></InfoMod>')


run(scenario)
