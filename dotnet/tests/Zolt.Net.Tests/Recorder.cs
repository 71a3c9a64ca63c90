using System;
using System.Collections.Generic;
using System.Threading;
using Xunit;

namespace Zolt.Tests;

// Collects a channel's notifications and lets the test wait for a count.
internal sealed class Recorder
{
    private readonly List<(string Text, int Thread)> _seen = new();
    private readonly int _expected;
    private readonly ManualResetEventSlim _complete = new();

    public Recorder(int expected) => _expected = expected;

    public void Record(object? sender, NotificationEventArgs notification)
    {
        lock (_seen)
        {
            _seen.Add((notification.Text, Environment.CurrentManagedThreadId));
            if (_seen.Count >= _expected)
                _complete.Set();
        }
    }

    public IReadOnlyList<string> Texts
    {
        get
        {
            lock (_seen)
                return _seen.ConvertAll(s => s.Text);
        }
    }

    public IReadOnlyList<int> Threads
    {
        get
        {
            lock (_seen)
                return _seen.ConvertAll(s => s.Thread);
        }
    }

    public IReadOnlyList<string> WaitForAll(int seconds = 30)
    {
        Assert.True(_complete.Wait(TimeSpan.FromSeconds(seconds)), $"{Texts.Count} of {_expected} notifications arrived");
        return Texts;
    }
}
