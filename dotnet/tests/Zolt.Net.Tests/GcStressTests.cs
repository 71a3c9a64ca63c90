using System;
using System.Diagnostics;
using System.Linq;
using System.Threading;
using Xunit;
using Xunit.Abstractions;

namespace Zolt.Tests;

public sealed class GcStressTests : ChannelTest
{
    private const int Channels = 4;
    private const int Rounds = 10;
    private const int PerRound = 250;

    private readonly ITestOutputHelper _output;

    public GcStressTests(ITestOutputHelper output) => _output = output;

    // Full, compacting collections one after the other while notifications
    // arrive on several channels: every one must reach its handler, intact
    // and in order, and the process must live through it.
    [Fact]
    public void TenThousandNotificationsArriveWhileCollectionsRunWithoutPause()
    {
        using var stop = new CancellationTokenSource();
        int collections = 0;
        var collector = new Thread(() =>
        {
            while (!stop.IsCancellationRequested)
            {
                GC.Collect(2, GCCollectionMode.Forced, blocking: true, compacting: true);
                GC.WaitForPendingFinalizers();
                collections++;
            }
        });
        int generation2Before = GC.CollectionCount(2);
        var clock = Stopwatch.StartNew();
        collector.Start();

        int delivered = 0;
        for (int round = 0; round < Rounds; round++)
            delivered += RunRound(round);
        stop.Cancel();
        collector.Join();
        clock.Stop();

        Assert.Equal(Channels * Rounds * PerRound, delivered);
        Assert.True(collections > 0);
        _output.WriteLine($"GC stress: {delivered} notifications on {Channels} channels in {Rounds} rounds, " +
                          $"{collections} forced full compacting collections " +
                          $"({GC.CollectionCount(2) - generation2Before} of generation 2 in all), " +
                          $"{clock.Elapsed.TotalSeconds:F1} s");
    }

    // Each round gives fresh slaves their notifications before anyone
    // listens, so no write of the test meets the poller's exchanges; the
    // handlers then get them all while the collector runs.
    private int RunRound(int round)
    {
        Channel[] channels = Enumerable.Range(0, Channels).Select(n => Open(n)).ToArray();
        var recorders = new Recorder[Channels];
        for (int n = 0; n < Channels; n++)
        {
            Queue(channels[n], Enumerable.Range(0, PerRound).Select(i => $"{round}:{n}:{i}"));
            recorders[n] = new Recorder(PerRound);
            // The first handler starts the poller, so the recorder comes
            // first; the second makes garbage, so the collector has work.
            channels[n].Notified += recorders[n].Record;
            channels[n].Notified += (_, e) => _ = new string(e.Text.AsSpan()).ToUpperInvariant();
        }
        for (int n = 0; n < Channels; n++)
        {
            Assert.Equal(Enumerable.Range(0, PerRound).Select(i => $"{round}:{n}:{i}"), recorders[n].WaitForAll(60));
            channels[n].Dispose();
            Assert.Equal((sbyte)0, channels[n].CloseStatus);
        }
        return Channels * PerRound;
    }
}
