@echo off
rem Lists the devices the ADB interface sees; kept for service desks that run it by hand.
adb.exe devices
