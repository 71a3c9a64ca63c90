"""A complete Zolt host in Python: python3 host.py PATH-TO-SLAVE"""
import sys

import zolt

with zolt.open(0, sys.argv[1]) as channel:        # starts the slave
    print("reply:", channel.write("world"))
    for text in channel.notifications(timeout=5):  # ends after 5 s without one
        print("notification:", text)
        break
print(f"close: status {channel.close_status}, {channel.read()}")
