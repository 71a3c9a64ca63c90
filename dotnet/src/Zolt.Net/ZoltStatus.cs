using System;

namespace Zolt;

/// <summary>
/// What each status of each library function means, in the words of the
/// library's manual pages (zolt(3) and one page per function).
/// </summary>
public static class ZoltStatus
{
    private readonly record struct Entry(ZoltFunction Function, sbyte Status, string Name, string Meaning);

    // The one table of the statuses. The library's header defines the codes;
    // this only says what they mean.
    private static readonly Entry[] s_table =
    {
        new(ZoltFunction.Open, 0, "ZOLT_OK", "the channel is open and the slave started"),
        new(ZoltFunction.Open, 1, "ZOLT_OPEN_SHARED_MEMORY_FAILED", "creating or opening the mailbox failed"),
        new(ZoltFunction.Open, 2, "ZOLT_OPEN_MAPPING_FAILED", "mapping the mailbox into the host failed"),
        new(ZoltFunction.Open, 3, "ZOLT_OPEN_START_FAILED", "the slave could not be started, or slavePath is unusable"),
        new(ZoltFunction.Open, 4, "ZOLT_OPEN_ALREADY_OPEN", "the channel is open already"),
        new(ZoltFunction.Open, 5, "ZOLT_OPEN_NO_POLLER", "channel is not a number from 0 to 7, or the channel's poller thread could not be created when the library was loaded"),
        new(ZoltFunction.Open, 6, "ZOLT_OPEN_EVENT_FAILED", "creating or opening the event failed"),
        new(ZoltFunction.Open, 7, "ZOLT_OPEN_STEM_IN_USE", "another open channel has the slave's stem"),

        new(ZoltFunction.Write, 0, "ZOLT_OK", "the reply was received"),
        new(ZoltFunction.Write, 1, "ZOLT_WRITE_MAILBOX_BUSY", "the slave did not free the mailbox within 4 seconds"),
        new(ZoltFunction.Write, 2, "ZOLT_WRITE_SLAVE_ENDED", "the slave process no longer runs"),
        new(ZoltFunction.Write, 3, "ZOLT_WRITE_NOT_OPEN", "the channel is not open, or channel is not a number from 0 to 7"),
        new(ZoltFunction.Write, 4, "ZOLT_WRITE_REPLY_TIMEOUT", "the slave took the command but did not reply within 4 seconds"),
        new(ZoltFunction.Write, 5, "ZOLT_WRITE_COMMAND_REFUSED", "command is null or longer than 1023 bytes; nothing was sent"),

        new(ZoltFunction.Event, 0, "ZOLT_OK", "the callback is stored and the poller's count lowered by one"),
        new(ZoltFunction.Event, 3, "ZOLT_EVENT_NOT_OPEN", "the channel is not open, or channel is not a number from 0 to 7"),

        new(ZoltFunction.Close, 0, "ZOLT_OK", "the slave replied to Close"),
        new(ZoltFunction.Close, 1, "ZOLT_WRITE_MAILBOX_BUSY", "the slave did not free the mailbox in time, and Close was not sent"),
        new(ZoltFunction.Close, 2, "ZOLT_WRITE_SLAVE_ENDED", "the slave had already ended"),
        new(ZoltFunction.Close, 3, "ZOLT_WRITE_NOT_OPEN", "the channel was not open, or channel is not a number from 0 to 7"),
        new(ZoltFunction.Close, 4, "ZOLT_WRITE_REPLY_TIMEOUT", "the slave took Close but did not reply in time"),
    };

    /// <summary>What <paramref name="status"/> of <paramref name="function"/> means.</summary>
    public static string Meaning(ZoltFunction function, sbyte status) =>
        Find(function, status)?.Meaning ?? $"status {status}, unknown to this version of Zolt.Net";

    /// <summary>
    /// The status's name in the library's header <c>zolt.h</c>, or null for a
    /// status it does not define for that function.
    /// </summary>
    public static string? Name(ZoltFunction function, sbyte status) => Find(function, status)?.Name;

    /// <summary>The library's name of the function, such as <c>ZoltMasterOpen</c>.</summary>
    public static string NativeName(ZoltFunction function) => function switch
    {
        ZoltFunction.Open => "ZoltMasterOpen",
        ZoltFunction.Write => "ZoltMasterWrite",
        ZoltFunction.Event => "ZoltMasterEvent",
        ZoltFunction.Close => "ZoltMasterClose",
        _ => throw new ArgumentOutOfRangeException(nameof(function)),
    };

    private static Entry? Find(ZoltFunction function, sbyte status)
    {
        foreach (Entry entry in s_table)
        {
            if (entry.Function == function && entry.Status == status)
                return entry;
        }
        return null;
    }
}
