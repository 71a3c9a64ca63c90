using System;
using System.Collections.Generic;
using System.IO;
using System.Reflection;
using System.Runtime.Versioning;
using System.Linq;
using System.Threading;
using Xunit;

// One library per process, one table of eight channels: tests take turns.
[assembly: CollectionBehavior(DisableTestParallelization = true)]
[assembly: SupportedOSPlatform("linux")]

namespace Zolt.Tests;

/// <summary>
/// A test's slaves and channels: each slave a link to a program of the build
/// under a name no other process uses (mailbox names are global to the
/// machine), every channel closed when the test ends, however it ends.
/// </summary>
public abstract class ChannelTest : IDisposable
{
    private static int s_made;
    private readonly List<Channel> _channels = new();
    private readonly List<sbyte> _rawChannels = new();
    private readonly List<string> _stems = new();

    protected ChannelTest()
    {
        Folder = Directory.CreateTempSubdirectory("zolt-net-test-").FullName;
    }

    protected string Folder { get; }

    protected static string BuildFolder =>
        Environment.GetEnvironmentVariable("ZOLT_BUILD_BIN") is { Length: > 0 } folder
            ? folder
            : typeof(ChannelTest).Assembly.GetCustomAttributes<AssemblyMetadataAttribute>()
                .Single(a => a.Key == "ZoltSlaveFolder").Value!;

    /// <summary>A new uniquely named link to a program of the build.</summary>
    protected string NewSlave(string program = "TestSlave")
    {
        string stem = $"Net{Environment.ProcessId}n{Interlocked.Increment(ref s_made)}";
        string path = Path.Combine(Folder, stem);
        File.CreateSymbolicLink(path, Path.Combine(BuildFolder, program));
        lock (_stems)
            _stems.Add(stem);
        return path;
    }

    protected Channel Open(int number, string? slave = null, ChannelOptions? options = null)
    {
        Channel channel = Channel.Open(number, slave ?? NewSlave(), options);
        lock (_channels)
            _channels.Add(channel);
        return channel;
    }

    protected sbyte OpenRaw(sbyte number, string slave)
    {
        sbyte status = ZoltNative.Open(number, slave);
        if (status == 0)
            lock (_rawChannels)
                _rawChannels.Add(number);
        return status;
    }

    protected sbyte CloseRaw(sbyte number)
    {
        lock (_rawChannels)
            _rawChannels.Remove(number);
        return ZoltNative.Close(number);
    }

    /// <summary>
    /// Queues notifications without signalling, then signals once. Only for
    /// a channel whose poller is idle: while it asks, its replies may take
    /// the place of a write's reply.
    /// </summary>
    protected static void Queue(Channel channel, IEnumerable<string> notes)
    {
        foreach (string note in notes)
            Assert.Equal("queued", channel.Write("notify>" + note));
        // The poller may answer the signal before this write's reply is read.
        Assert.Equal(0, channel.TryWrite("signal>1", out _));
    }

    /// <summary>Waits for a slave that has just answered its last command to end.</summary>
    protected static void WaitForSlaveEnd(int pid) =>
        Assert.True(Libc.WaitForEnd(pid, 10_000), $"slave {pid} still runs");

    public virtual void Dispose()
    {
        foreach (Channel channel in _channels)
            channel.Dispose();
        foreach (sbyte number in _rawChannels)
            ZoltNative.Close(number);
        // The library removes the names it made when the process exits, but
        // the test runner ends its test host without an exit.
        foreach (string stem in _stems)
        {
            File.Delete($"/dev/shm/{stem}SM");
            File.Delete($"/dev/shm/sem.{stem}EM");
        }
        try
        {
            Directory.Delete(Folder, recursive: true);
        }
        catch (IOException)
        {
        }
        GC.SuppressFinalize(this);
    }
}
