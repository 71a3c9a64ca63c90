using System;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Threading;
using System.Threading.Tasks;
using Xunit;

namespace Zolt.Tests;

public sealed class ConcurrencyTests : ChannelTest
{
    // The slave writes each command it takes to a pipe, so the test knows
    // the write is under way before it disposes.
    [Fact]
    public async Task DisposeFromAnotherThreadWaitsForTheWriteUnderWay()
    {
        string log = Path.Combine(Folder, "commands");
        Assert.Equal(0, Libc.MkFifo(log, Convert.ToUInt32("600", 8)));
        Libc.SetEnv("ZOLT_TEST_SLAVE_LOG", log, 1);
        Channel channel;
        try
        {
            channel = Open(7);
        }
        finally
        {
            Libc.UnsetEnv("ZOLT_TEST_SLAVE_LOG");
        }
        using var commands = new StreamReader(new FileStream(log, FileMode.Open, FileAccess.Read));

        Task<string> writer = Task.Run(() => channel.Write("sleep>300"));
        Assert.Equal("sleep>300", await ReadLine(commands));
        channel.Dispose();

        Assert.Equal("slept", await writer);
        Assert.Equal((sbyte)0, channel.CloseStatus);
        Assert.Equal("Close", await ReadLine(commands));
        Assert.Throws<ObjectDisposedException>(() => channel.Write("echo>late"));
    }

    private static async Task<string?> ReadLine(StreamReader reader)
    {
        using var limit = new CancellationTokenSource(TimeSpan.FromSeconds(20));
        return await reader.ReadLineAsync(limit.Token);
    }

    // The runtime's own child handling and the library's reaping of its
    // slaves must not take each other's children.
    [Fact]
    public async Task AHostStartingItsOwnProcessesSeesThemAllWhileSlavesEnd()
    {
        const int Rounds = 5;
        using var stop = new CancellationTokenSource();
        int children = 0;
        Task host = Task.Run(() =>
        {
            while (!stop.IsCancellationRequested || children < 20)
            {
                int code = children % 100;
                using Process child = Process.Start(new ProcessStartInfo("/bin/sh", new[] { "-c", $"exit {code}" }))!;
                Assert.True(child.WaitForExit(20_000), $"child {child.Id} was lost");
                Assert.Equal(code, child.ExitCode);
                children++;
            }
        });

        int ended = 0;
        for (int round = 0; round < Rounds; round++)
        {
            Channel[] channels = Enumerable.Range(0, 4).Select(n => Open(n)).ToArray();
            int[] pids = channels.Select(c => int.Parse(c.Write("pid"))).ToArray();
            foreach (Channel channel in channels)
                Assert.Equal("Bye", channel.Write("Close"));
            for (int n = 0; n < channels.Length; n++)
            {
                WaitForSlaveEnd(pids[n]);
                Assert.Equal(2, Assert.Throws<ZoltException>(() => channels[n].Write("echo>x")).Status);
                // The library collected its own slave: no zombie stays behind.
                Assert.False(Directory.Exists($"/proc/{pids[n]}"), $"slave {pids[n]} was not reaped");
                channels[n].Dispose();
                Assert.Equal((sbyte)2, channels[n].CloseStatus);
                ended++;
            }
        }
        stop.Cancel();
        await host;

        Assert.Equal(4 * Rounds, ended);
        Assert.True(children >= 20);
    }
}
