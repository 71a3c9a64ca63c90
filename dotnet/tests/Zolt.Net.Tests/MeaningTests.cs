using System;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Text.RegularExpressions;
using Xunit;

namespace Zolt.Tests;

// The exceptions speak the manual pages' words: each status's meaning and
// name must stand in the RETURN VALUE section of its function's page.
public sealed class MeaningTests
{
    [Theory]
    [InlineData(ZoltFunction.Open)]
    [InlineData(ZoltFunction.Write)]
    [InlineData(ZoltFunction.Event)]
    [InlineData(ZoltFunction.Close)]
    public void EveryMeaningIsTheManualPagesOwn(ZoltFunction function)
    {
        string source = typeof(MeaningTests).Assembly.GetCustomAttributes<AssemblyMetadataAttribute>()
            .Single(a => a.Key == "ZoltSourceFolder").Value!;
        string page = File.ReadAllText(Path.Combine(source, "docs", "man", $"{ZoltStatus.NativeName(function)}.3.scd"));
        string returnValue = Plain(page[page.IndexOf("# RETURN VALUE", StringComparison.Ordinal)..page.IndexOf("# THREADS", StringComparison.Ordinal)]);

        sbyte[] known = Enumerable.Range(-1, 10).Select(s => (sbyte)s).Where(s => ZoltStatus.Name(function, s) is not null).ToArray();
        Assert.Contains((sbyte)0, known);
        foreach (sbyte status in known)
        {
            Assert.Contains($"{status} ({ZoltStatus.Name(function, status)!.ToLowerInvariant()})", returnValue);
            Assert.Contains(ZoltStatus.Meaning(function, status).ToLowerInvariant(), returnValue);
        }
        Assert.Contains("unknown", ZoltStatus.Meaning(function, 99));
    }

    // The page's text without its markup, on one line, in lower case.
    private static string Plain(string scdoc) =>
        Regex.Replace(Regex.Replace(scdoc.Replace("*", ""), @"(?<![A-Za-z0-9])_([A-Za-z]+)_", "$1"), @"\s+", " ").ToLowerInvariant();
}
