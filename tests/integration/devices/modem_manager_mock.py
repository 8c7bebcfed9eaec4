'''A small ModemManager for tests: one modem whose ports are given by the PORTS parameter
(comma-separated names such as "pts/4"), and InhibitDevice, which logs its arguments.'''

import dbus

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
MAIN_IFACE = 'org.freedesktop.ModemManager1'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MODEM_IFACE = 'org.freedesktop.ModemManager1.Modem'
UID = '/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2'


def load(mock, parameters):
    mock.AddMethod(MAIN_IFACE, 'InhibitDevice', 'sb', '', '')
    ports = [p for p in parameters.get('PORTS', '').split(',') if p]
    mock.AddObject(MAIN_OBJ + '/Modem/0', MODEM_IFACE, {
        'Device': dbus.String(UID),
        'PrimaryPort': dbus.String(ports[0] if ports else ''),
        'Ports': dbus.Array([dbus.Struct((p, dbus.UInt32(4)), signature='su') for p in ports], signature='(su)'),
    }, [])
