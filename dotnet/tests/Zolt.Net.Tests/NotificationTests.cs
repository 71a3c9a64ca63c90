using System;
using System.Collections.Concurrent;
using System.Linq;
using System.Threading;
using System.Threading.Tasks;
using Xunit;

namespace Zolt.Tests;

public sealed class NotificationTests : ChannelTest
{
    private static readonly string[] s_three = { "one", "zwei ü", "three" };

    [Fact]
    public void NotificationsArriveInOrderOnTheChannelsOwnLibraryThread()
    {
        using Channel channel = Open(2);
        var recorder = new Recorder(3);
        int channelSeen = -1;
        channel.Notified += recorder.Record;
        channel.Notified += (sender, e) => channelSeen = e.Channel;
        Queue(channel, s_three);

        Assert.Equal(s_three, recorder.WaitForAll());
        Assert.Equal(2, channelSeen);
        Assert.Single(recorder.Threads.Distinct());
        Assert.NotEqual(Environment.CurrentManagedThreadId, recorder.Threads[0]);
    }

    [Fact]
    public void AChannelOpenedAgainGetsItsNotificationsWhateverCameBefore()
    {
        string slave = NewSlave();
        // Subscribed, closed, opened again and subscribed again.
        Channel first = Open(3, slave);
        first.Notified += (_, _) => { };
        first.Dispose();
        // Closed twice more without a subscription in between: the library's
        // poller now has three suspensions to take away.
        Open(3, slave).Dispose();
        Open(3, slave).Dispose();
        // A close of the channel while it is not open adds none.
        Assert.Equal(3, ZoltNative.Close(3));

        using Channel channel = Open(3, slave);
        var recorder = new Recorder(3);
        channel.Notified += recorder.Record;
        Queue(channel, s_three);
        Assert.Equal(s_three, recorder.WaitForAll());
    }

    [Fact]
    public void AThrowingHandlerIsReportedAndTheSeriesGoesOn()
    {
        using Channel channel = Open(4);
        var failures = new ConcurrentQueue<HandlerFailedEventArgs>();
        var all = new Recorder(3);
        int calls = 0;
        channel.HandlerFailed += (_, failure) => failures.Enqueue(failure);
        channel.Notified += (_, e) =>
        {
            Interlocked.Increment(ref calls);
            if (e.Text == "zwei ü")
                throw new InvalidOperationException("handler fault");
        };
        channel.Notified += all.Record;
        Queue(channel, s_three);

        Assert.Equal(s_three, all.WaitForAll());
        Assert.Equal(3, calls);
        HandlerFailedEventArgs failure = Assert.Single(failures);
        Assert.Equal(("zwei ü", 4, "handler fault"), (failure.Notification, failure.Channel, failure.Exception.Message));


        // Without anyone listening for failures the series goes on as well.
        using Channel unheard = Open(5);
        var after = new Recorder(3);
        unheard.Notified += (_, _) => throw new InvalidOperationException("nobody hears this");
        unheard.Notified += after.Record;
        Queue(unheard, s_three);
        Assert.Equal(s_three, after.WaitForAll());
    }

    [Fact]
    public void HandlersMayWriteToAndDisposeTheirOwnAndOtherChannels()
    {
        Channel own = Open(0);
        Channel other = Open(1);
        var replies = new ConcurrentQueue<string>();
        var failures = new ConcurrentQueue<Exception>();
        var done = new ManualResetEventSlim();
        own.HandlerFailed += (_, f) => failures.Enqueue(f.Exception);
        own.Notified += (_, e) =>
        {
            replies.Enqueue(own.Write("echo>own " + e.Text));
            replies.Enqueue(other.Write("echo>other " + e.Text));
            if (e.Text != "last")
                return;
            other.Dispose();
            own.Dispose();
            done.Set();
        };
        Queue(own, new[] { "first", "last" });

        Assert.True(done.Wait(TimeSpan.FromSeconds(30)), "the handler did not get to the last notification");
        Assert.Empty(failures);
        Assert.Equal(new[] { "own first", "other first", "own last", "other last" }, replies);
        Assert.Equal(((sbyte?)0, (sbyte?)0), (own.CloseStatus, other.CloseStatus));
        // Both numbers are free again.
        Assert.Equal("ok:again", Open(0).Write("again"));
        Assert.Equal("ok:again", Open(1).Write("again"));
    }

    [Fact]
    public void HandlersAddedUnderASynchronizationContextAreCalledThroughIt()
    {
        using var context = new SingleThreadContext();
        using Channel channel = Open(5, options: new ChannelOptions { NotifyOnCapturedContext = true });
        var onContext = new Recorder(3);
        var onLibrary = new Recorder(3);
        context.Run(() => channel.Notified += onContext.Record);
        channel.Notified += onLibrary.Record;
        Queue(channel, s_three);

        Assert.Equal(s_three, onContext.WaitForAll());
        Assert.Equal(s_three, onLibrary.WaitForAll());
        Assert.All(onContext.Threads, thread => Assert.Equal(context.ThreadId, thread));
        Assert.All(onLibrary.Threads, thread => Assert.NotEqual(context.ThreadId, thread));
    }

    // The runtime stops every thread that runs managed code for a collection,
    // the library's own threads included: a handler that never reaches a safe
    // point by itself must not hold a collection up.
    [Fact]
    public void AHandlerThatSpinsDoesNotHoldUpACollection()
    {
        using Channel channel = Open(6);
        var spinning = new ManualResetEventSlim();
        var left = new ManualResetEventSlim();
        int[] release = new int[1];
        channel.Notified += (_, _) =>
        {
            spinning.Set();
            while (Volatile.Read(ref release[0]) == 0)
            {
            }
            left.Set();
        };
        Assert.Equal("pushed", channel.Write("push>spin"));
        Assert.True(spinning.Wait(TimeSpan.FromSeconds(10)));

        var collector = new Thread(() =>
        {
            GC.Collect(2, GCCollectionMode.Forced, blocking: true);
            Volatile.Write(ref release[0], 1);
        });
        collector.Start();
        bool collected = collector.Join(TimeSpan.FromSeconds(20));
        Volatile.Write(ref release[0], 1);
        Assert.True(collected, "the collection waited for the spinning handler");
        Assert.True(left.Wait(TimeSpan.FromSeconds(10)));
    }

    [Fact]
    public async Task EightChannelsWorkAtOnce()
    {
        Channel[] channels = Enumerable.Range(0, ZoltNative.ChannelCount).Select(n => Open(n)).ToArray();
        Recorder[] recorders = channels.Select(_ => new Recorder(5)).ToArray();
        for (int n = 0; n < channels.Length; n++)
            channels[n].Notified += recorders[n].Record;

        await Task.WhenAll(channels.Select(channel => Task.Run(() =>
        {
            for (int i = 0; i < 50; i++)
                Assert.Equal($"{channel.Number}:{i}", channel.Write($"echo>{channel.Number}:{i}"));
            // Queued and signalled once, after the last write: a write on a
            // channel whose notifications are under way could replace one
            // before its handler is called.
            Queue(channel, Enumerable.Range(0, 5).Select(i => $"{channel.Number}/{i}"));
        })));

        for (int n = 0; n < channels.Length; n++)
            Assert.Equal(Enumerable.Range(0, 5).Select(i => $"{n}/{i}"), recorders[n].WaitForAll());
        foreach (Channel channel in channels)
            channel.Close();
        Assert.All(channels, channel => Assert.Equal((sbyte)0, channel.CloseStatus));
    }
}

// A context that runs what is posted to it on one thread of its own, as a UI
// thread's does.
internal sealed class SingleThreadContext : SynchronizationContext, IDisposable
{
    private readonly BlockingCollection<(SendOrPostCallback Callback, object? State)> _queue = new();
    private readonly Thread _thread;

    public SingleThreadContext()
    {
        _thread = new Thread(() =>
        {
            SetSynchronizationContext(this);
            foreach (var (callback, state) in _queue.GetConsumingEnumerable())
                callback(state);
        });
        _thread.Start();
    }

    public int ThreadId => _thread.ManagedThreadId;

    public override void Post(SendOrPostCallback d, object? state) => _queue.Add((d, state));

    // Runs the action on the context's thread and waits for it.
    public void Run(Action action)
    {
        using var finished = new ManualResetEventSlim();
        Post(_ =>
        {
            action();
            finished.Set();
        }, null);
        Assert.True(finished.Wait(TimeSpan.FromSeconds(10)));
    }

    public void Dispose()
    {
        _queue.CompleteAdding();
        _thread.Join();
        _queue.Dispose();
    }
}
