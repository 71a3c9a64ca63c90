"""A complete Zolt slave in Python: greets, then notifies the host."""
import zolt

with zolt.Slave() as slave:                     # named after sys.argv[0], as the host started it
    for command in slave.commands():            # the kit answers "Ask" and "Close"
        slave.reply("Hello, " + command)
        slave.notify("greeted " + command)
