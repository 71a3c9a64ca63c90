using System;
using System.IO;
using System.Threading.Tasks;
using Xunit;

namespace Zolt.Tests;

// Every status each function can be made to return against the real library,
// once as the raw status and once as the exception a channel throws.
public sealed class StatusTests : ChannelTest
{
    private static void AssertFailure(ZoltException failure, ZoltFunction function, sbyte status, int channel)
    {
        Assert.Equal((function, status, channel), (failure.Function, failure.Status, failure.Channel));
        Assert.Equal(ZoltStatus.Meaning(function, status), failure.Meaning);
        Assert.Contains($"{ZoltStatus.NativeName(function)} on channel {channel} returned {status}: {failure.Meaning}", failure.Message);
    }

    private static unsafe sbyte UnregisterRaw(sbyte channel) => ZoltNative.Event(channel, null);

    [Fact]
    public void OpenSucceedsOnceAndThenFindsTheChannelOpen()
    {
        string slave = NewSlave();
        Assert.Equal(0, OpenRaw(0, slave));
        Assert.Equal(4, ZoltNative.Open(0, NewSlave()));
        AssertFailure(Assert.Throws<ZoltException>(() => Open(0)), ZoltFunction.Open, 4, 0);
        Assert.Equal("ok:after", Open(1).Write("after"));
    }

    [Fact]
    public void OpenOfAMissingSlaveFailsToStartAndTellsTheSystemsError()
    {
        string missing = Path.Combine(Folder, "Absent");
        Assert.Equal(3, ZoltNative.Open(2, missing, out int rawError));
        Assert.Equal(2, rawError); // ENOENT
        ZoltException failure = Assert.Throws<ZoltException>(() => Open(2, missing));
        AssertFailure(failure, ZoltFunction.Open, 3, 2);
        Assert.Equal(rawError, failure.SystemError);
        Assert.Contains(missing, failure.Message);
        // An empty path is refused before anything is tried.
        Assert.Equal(3, ZoltNative.Open(2, ""));
    }

    [Fact]
    public void OpenOutsideTheTableHasNoPoller()
    {
        Assert.Equal(5, ZoltNative.Open(8, NewSlave()));
        Assert.Equal(5, ZoltNative.Open(-1, NewSlave()));
        Assert.Throws<ArgumentOutOfRangeException>(() => Channel.Open(8, NewSlave()));
        Assert.Throws<ArgumentOutOfRangeException>(() => Channel.Open(-1, NewSlave()));
    }

    [Fact]
    public void OpenRefusesAMailboxItMayNotUse()
    {
        // Root may use any object, so the mailbox is given away; anyone else
        // is refused an object it may not read.
        string slave = NewSlave();
        string mailbox = $"/dev/shm/{Path.GetFileName(slave)}SM";
        File.WriteAllBytes(mailbox, new byte[1025]);
        try
        {
            if (Libc.GetEuid() == 0)
                Assert.Equal(0, Libc.Chown(mailbox, 65534, 65534));
            else
                File.SetUnixFileMode(mailbox, UnixFileMode.None);
            Assert.Equal(1, ZoltNative.Open(3, slave));
            AssertFailure(Assert.Throws<ZoltException>(() => Open(3, slave)), ZoltFunction.Open, 1, 3);
        }
        finally
        {
            File.Delete(mailbox);
        }
    }

    [Fact]
    public void OpenRefusesAnEventFileTooShortForASemaphore()
    {
        string slave = NewSlave();
        string stem = Path.GetFileName(slave);
        File.WriteAllBytes($"/dev/shm/sem.{stem}EM", new byte[4]);
        try
        {
            Assert.Equal(6, ZoltNative.Open(4, slave));
            AssertFailure(Assert.Throws<ZoltException>(() => Open(4, slave)), ZoltFunction.Open, 6, 4);
        }
        finally
        {
            File.Delete($"/dev/shm/sem.{stem}EM");
            File.Delete($"/dev/shm/{stem}SM");
        }
    }

    [Fact]
    public void OpenRefusesAStemThatAnotherChannelHas()
    {
        string slave = NewSlave();
        using Channel first = Open(5, slave);
        Assert.Equal(7, ZoltNative.Open(6, slave));
        AssertFailure(Assert.Throws<ZoltException>(() => Open(6, slave)), ZoltFunction.Open, 7, 6);
        Assert.Equal("ok:still", first.Write("still"));
    }

    [Fact]
    public void WriteReturnsTheReplyAndRefusesWhatCannotBeSent()
    {
        using Channel channel = Open(0);
        Assert.Equal("grüße, 日本", channel.Write("echo>grüße, 日本"));
        Assert.Equal(0, channel.TryWrite("echo>raw", out string? reply));
        Assert.Equal("raw", reply);
        Assert.Equal("raw", ZoltNative.Read(0));

        string tooLong = new('c', 1024);
        Assert.Equal(5, ZoltNative.Write(0, tooLong));
        Assert.Equal(5, ZoltNative.Write(0, null));
        AssertFailure(Assert.Throws<ZoltException>(() => channel.Write(tooLong)), ZoltFunction.Write, 5, 0);
        // 1023 bytes in UTF-8 is the most a command may hold, whatever its characters.
        Assert.Equal(5, channel.TryWrite("echo>" + new string('ü', 510), out _));
        Assert.Equal(0, channel.TryWrite("echo>" + new string('ü', 509), out _));
        Assert.Throws<ArgumentException>(() => channel.Write("echo>cut\0here"));
        Assert.Equal("raw", ZoltNative.Write(0, "echo>raw") == 0 ? ZoltNative.Read(0) : null);
    }

    [Fact]
    public void WriteAndCloseOnAnEndedSlaveSayItEnded()
    {
        Channel channel = Open(1);
        int pid = int.Parse(channel.Write("pid"));
        // The slave answers a Close sent as a command, and then ends.
        Assert.Equal("Bye", channel.Write("Close"));
        WaitForSlaveEnd(pid);
        Assert.Equal(2, ZoltNative.Write(1, "echo>x"));
        AssertFailure(Assert.Throws<ZoltException>(() => channel.Write("echo>x")), ZoltFunction.Write, 2, 1);
        Assert.Equal("Bye", ZoltNative.Read(1));
        AssertFailure(Assert.Throws<ZoltException>(channel.Close), ZoltFunction.Close, 2, 1);
        Assert.True(channel.IsClosed);
        Assert.Equal((sbyte)2, channel.CloseStatus);

        Assert.Equal(0, OpenRaw(2, NewSlave()));
        pid = ZoltNative.Write(2, "pid") == 0 ? int.Parse(ZoltNative.Read(2)) : 0;
        Assert.Equal(0, ZoltNative.Write(2, "Close"));
        WaitForSlaveEnd(pid);
        Assert.Equal(2, CloseRaw(2));
    }

    [Fact]
    public void EveryFunctionOnAChannelClosedUnderneathSaysItIsNotOpen()
    {
        Channel channel = Open(3);
        Assert.Equal(0, ZoltNative.Close(3));
        Assert.Equal(3, ZoltNative.Write(3, "echo>x"));
        Assert.Equal(3, UnregisterRaw(3));
        Assert.Equal(3, ZoltNative.Close(3));
        AssertFailure(Assert.Throws<ZoltException>(() => channel.Write("echo>x")), ZoltFunction.Write, 3, 3);
        AssertFailure(Assert.Throws<ZoltException>(() => channel.Notified += (_, _) => { }), ZoltFunction.Event, 3, 3);
        AssertFailure(Assert.Throws<ZoltException>(channel.Close), ZoltFunction.Close, 3, 3);
        Assert.Throws<ObjectDisposedException>(() => channel.Write("echo>x"));
    }

    [Fact]
    public void ACloseTheSlaveAnswersIsNoFailure()
    {
        Channel channel = Open(4);
        channel.Close();
        Assert.Equal((sbyte)0, channel.CloseStatus);
        Assert.Equal("Bye", ZoltNative.Read(4));
        channel.Close();
        channel.Dispose();
        Assert.Equal((sbyte)0, channel.CloseStatus);
    }

    // The time-outs take 4 s each, so the raw and the thrown statuses run on
    // channels of their own side by side.
    [Fact]
    public async Task SlavesThatStopAnsweringTimeOutThenKeepTheMailboxBusy()
    {
        Task silentThrown = Task.Run(() =>
        {
            Channel channel = Open(0);
            AssertFailure(Assert.Throws<ZoltException>(() => channel.Write("mute")), ZoltFunction.Write, 4, 0);
            AssertFailure(Assert.Throws<ZoltException>(() => channel.Write("echo>x")), ZoltFunction.Write, 1, 0);
            AssertFailure(Assert.Throws<ZoltException>(channel.Close), ZoltFunction.Close, 1, 0);
            Assert.True(channel.IsClosed);
        });
        Task silentRaw = Task.Run(() =>
        {
            Assert.Equal(0, OpenRaw(1, NewSlave()));
            Assert.Equal(4, ZoltNative.Write(1, "mute"));
            Assert.Equal(1, ZoltNative.Write(1, "echo>x"));
            Assert.Equal(1, CloseRaw(1));
        });
        // "state>0" leaves the mailbox idle over a text that is no reply and
        // serves no more: the Close is taken and never answered.
        Task deafThrown = Task.Run(() =>
        {
            Channel channel = Open(2);
            Assert.Equal("not a reply", channel.Write("state>0"));
            AssertFailure(Assert.Throws<ZoltException>(channel.Close), ZoltFunction.Close, 4, 2);
        });
        Task deafRaw = Task.Run(() =>
        {
            Assert.Equal(0, OpenRaw(3, NewSlave()));
            Assert.Equal(0, ZoltNative.Write(3, "state>0"));
            Assert.Equal(4, CloseRaw(3));
        });
        await Task.WhenAll(silentThrown, silentRaw, deafThrown, deafRaw);
    }
}
