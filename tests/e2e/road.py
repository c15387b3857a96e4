"""The technician's road: a new project, its communication settings, two DeviceNet nodes, a
register on each page of the register map, and "Update Device": the three documents and the
configuration image hold exactly what was entered, and the update dialog opens."""

from velmora_e2e import expect_equal, run

PARGEN = (b"<Par_Gen><DNET_DEV_ID>12</DNET_DEV_ID><DNET_BAUD>1</DNET_BAUD>"
          b"<Ser_Baud>4</Ser_Baud><Ser_Par>1</Ser_Par><Ser_ID>17</Ser_ID>"
          b"<Ser_Type>0</Ser_Type><Ser_Prot>1</Ser_Prot><HW_Type>1</HW_Type></Par_Gen>")
NETWORK = (b'<DNET_Net><row ID="3" NB_IN="4" NB_OUT="2" Mnemonic="Drive"/>'
           b'<row ID="12" NB_IN="2" NB_OUT="6" Mnemonic="Valves"/></DNET_Net>')
# Read register 7 on node 2: high byte from its byte 3, low byte from its byte 1;
# write register 0x10 on node 1: low byte from its byte 4 alone.
REGISTERS = (b'<InfoMod><Modbus_Read><row Index="7" NrDNNode="2" PosComp="196609"/></Modbus_Read>'
             b'<Modbus_Write><row Index="0x10" NrDNNode="1" PosComp="4"/></Modbus_Write>'
             b'</InfoMod>')
IMAGE = bytes([
    # header: node table at 16, read map at 34, write map at 41, parameters at 48
    16, 0, 0, 0, 34, 0, 0, 0, 41, 0, 0, 0, 48, 0, 0, 0,
    # nodes: ID, bytes in, bytes out, input start, output start
    3, 4, 0, 2, 0, 0, 0, 0, 0,
    12, 2, 0, 6, 0, 4, 0, 2, 0,
    # read map: index 7, byte choices 3 and 1, node position 1
    7, 0, 1, 0, 3, 0, 1,
    # write map: index 16, byte choices none and 4, node position 0
    16, 0, 4, 0, 0, 0, 0,
    # parameters: DeviceNet ID 12 at 250K, 19200 baud, EVEN, serial ID 17, RS232,
    # ASCII framing, 2 nodes, 1 read and 1 write register, QH48203-B2
    12, 1, 4, 1, 17, 0, 1, 2, 1, 0, 1, 0, 1,
])


def scenario(s):
    main = s.start()
    s.new_project(main, "Road")

    s.press(main, "Set Communication")
    dialog = s.window("SET COMMUNICATION")
    s.fill(s.field(dialog, "ID Dev.", 0), "12")
    s.choose(s.field(dialog, "Baud rate"), "250K")
    s.check(s.find(dialog, "radio button", "RS232"))
    s.choose(s.field(dialog, "Baudrate"), "19200")
    s.choose(s.field(dialog, "Parity"), "EVEN")
    s.fill(s.field(dialog, "ID Dev.", 1), "17")
    s.check(s.find(dialog, "radio button", "Modbus ASCII"))
    s.check(s.find(dialog, "radio button", "QH48203-B2"))
    s.press(dialog, "OK")
    s.gone(dialog)
    expect_equal("pargen.xml", s.wait_file(s.project_file("Road", "pargen.xml")), PARGEN)

    s.press(main, "DeviceNet Network")
    dialog = s.window("DeviceNet Network")
    s.type_rows(s.find(dialog, "table", None), [
        {"ID": "3", "N BYTE IN": "4", "N BYTE OUT": "2", "MNEMONIC": "Drive"},
        {"ID": "12", "N BYTE IN": "2", "N BYTE OUT": "6", "MNEMONIC": "Valves"},
    ])
    s.press(dialog, "OK")
    s.gone(dialog)
    expect_equal("DNET_Net.xml", s.wait_file(s.project_file("Road", "DNET_Net.xml")), NETWORK)

    s.press(main, "Define Modbus")
    dialog = s.window("Modbus Registers Definition")
    s.new_register(dialog, "12\t6", "7", high="Byte3", low="Byte1")
    s.click(s.find(dialog, "page tab", " Modbus Register in Write "))
    s.find(dialog, "label", " ID                N Byte IN")  # the write page is in front
    s.new_register(dialog, "3\t4", "0x10", low="Byte4")
    s.press(dialog, "OK")
    s.gone(dialog)
    expect_equal("DefReg.xml", s.wait_file(s.project_file("Road", "DefReg.xml")), REGISTERS)

    s.press(main, "Update Device")
    expect_equal("bin/bank.bin", s.wait_file(s.project_file("Road", "bin", "bank.bin")), IMAGE)
    # The update dialog opens on its instructions. Never "Connect" here: the list holds the
    # machine's own serial ports, and on these machines the first is its console.
    dialog = s.window("Update Firmware from Serial (RS232)")
    s.find(dialog, "label", "3 - Select the  COM port and press the connect button")
    s.find(dialog, "push button", "Connect")
    s.press(dialog, "Cancel")
    s.gone(dialog)


run(scenario)
