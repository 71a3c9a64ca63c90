#!/usr/bin/env python3
"""A device simulator on the Python slave kit, for the tests.

pid          replies with its process id
burst>N      replies "bursting", then queues N notifications n0 .. nN-1
notify>TEXT  replies "queued", then queues TEXT
sleep>MS     replies "slept" after MS milliseconds
anything     replies "echo:" and the command
It writes "done" to $ZOLT_DEVICE_SLAVE_LOG once its command loop has ended.
"""
import os
import time

import zolt

with zolt.Slave() as slave:
    for command in slave.commands():
        verb, _, argument = command.partition(">")
        if command == "pid":
            slave.reply(str(os.getpid()))
        elif verb == "burst":
            slave.reply("bursting")
            for number in range(int(argument)):
                slave.notify(f"n{number}")
        elif verb == "notify":
            slave.reply("queued")
            slave.notify(argument)
        elif verb == "sleep":
            time.sleep(int(argument) / 1000)
            slave.reply("slept")
        else:
            slave.reply("echo:" + command)
    ended = "host gone" if slave.host_gone else "done"

log = os.environ.get("ZOLT_DEVICE_SLAVE_LOG")
if log:
    with open(log, "a") as file:
        file.write(ended + "\n")
