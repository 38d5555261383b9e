#!/usr/bin/python3
# A umockdev testbed driven over standard input, for daemons (upowerd) that read devices
# from sysfs and udev. Run it under umockdev-wrapper: uevents reach the daemon only when the
# process that raises them runs inside the testbed's preload library too.
#
# It prints the testbed's folder (for the daemon's UMOCKDEV_DIR) on its first line, then
# answers each command line with one line: "ok" and the device's sysfs path, or "error" and why.
# A command is one JSON object a line:
#   {"add": "power_supply", "name": "BAT0", "parent": "/sys/devices/...", "attributes": {...},
#    "properties": {...}}                       adds a device (a hot plug once a daemon runs)
#   {"set": "/sys/devices/BAT0", "attributes": {...}}
#                                              changes attributes, then raises one "change"
#   {"set": [...paths...], "attributes": [{...}, {...}]}
#                                              changes several devices, then raises their
#                                              uevents back to back, as one hardware event does
#   {"remove": "/sys/devices/..."}             raises "remove" and takes the device away
# End of input ends it; the testbed removes its folder itself.
import json
import os
import sys

import gi

gi.require_version('UMockdev', '1.0')
from gi.repository import UMockdev  # noqa: E402


def flat(mapping):
    result = []
    for key, value in (mapping or {}).items():
        result += [key, str(value)]
    return result


def main():
    bed = UMockdev.Testbed.new()
    print(bed.get_root_dir(), flush=True)

    def existing(path):
        # umockdev aborts the process on an attribute of a device it does not have.
        if not os.path.isdir(bed.get_root_dir() + path):
            raise ValueError('no device ' + path)
        return path

    for line in sys.stdin:
        if not line.strip():
            continue
        try:
            command = json.loads(line)
            if 'add' in command:
                path = bed.add_device(command['add'], command['name'], command.get('parent'),
                                      flat(command.get('attributes')), flat(command.get('properties')))
                if not path:
                    raise ValueError('could not add ' + command['name'])
                answer = path
            elif 'set' in command:
                paths = command['set'] if isinstance(command['set'], list) else [command['set']]
                changes = command['attributes'] if isinstance(command['attributes'], list) \
                    else [command['attributes']]
                for path, attributes in zip(map(existing, paths), changes):
                    for key, value in attributes.items():
                        bed.set_attribute(path, key, str(value))
                for path in paths:
                    bed.uevent(path, 'change')
                answer = ' '.join(paths)
            elif 'remove' in command:
                bed.uevent(existing(command['remove']), 'remove')
                bed.remove_device(command['remove'])
                answer = command['remove']
            else:
                raise ValueError('unknown command')
            print('ok', answer, flush=True)
        except Exception as error:  # noqa: BLE001 - every failure is answered, never fatal
            print('error', str(error).replace('\n', ' '), flush=True)


if __name__ == '__main__':
    main()
