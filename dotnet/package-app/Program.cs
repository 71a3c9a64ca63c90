// Drives the demo slave Brivex through the Zolt package, as the demo driver
// does through the library: PackageApp SLAVE_PATH, run in the folder that
// holds Kwarne.cfg. Exits 0 only when every step gave what the slave promises.
using System;
using System.Threading.Tasks;
using Zolt;

if (args.Length != 1)
{
    Console.Error.WriteLine("usage: PackageApp SLAVE_PATH");
    return 2;
}

int failures = 0;
void Expect(string what, string got, string wanted)
{
    bool good = got.StartsWith(wanted, StringComparison.Ordinal);
    Console.WriteLine($"{what}: {got}{(good ? "" : $"  <- expected {wanted}...")}");
    if (!good)
        failures++;
}

using (Channel brivex = Channel.Open(0, args[0]))
{
    Console.WriteLine($"Opened channel 0 to {args[0]}");
    Expect("Load configuration", brivex.Write("LoadConfiguration>Kwarne.cfg"), "Configuration Kwarne.cfg loaded");
    // Brivex notifies right after its reply: the frame goes out before the
    // handler is added, so the poller cannot take the reply's place.
    Expect("Send frame", brivex.Write("SendF>Frame ASK"), "Frame accepted: Frame ASK");

    var notified = new TaskCompletionSource<string>(TaskCreationOptions.RunContinuationsAsynchronously);
    brivex.Notified += (_, e) => notified.TrySetResult(e.Text);
    if (notified.Task.Wait(TimeSpan.FromSeconds(20)))
        Expect("Notification", notified.Task.Result, "Frame sent: Frame ASK");
    else
    {
        Console.WriteLine("Notification: none within 20 s");
        failures++;
    }
    brivex.Close();
    Console.WriteLine($"Closed, status {brivex.CloseStatus}");
}
Console.WriteLine(failures == 0 ? "End" : $"End, {failures} step(s) failed");
return failures == 0 ? 0 : 1;
