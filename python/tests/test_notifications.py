"""Notifications through the library's callback: order, loss, closing while
they flow, and channel objects collected while their callback is registered."""

from __future__ import annotations

import gc
import itertools
import threading
import warnings

import zolt
from conftest import wait_until


def queue_notifications(channel: zolt.Channel, texts) -> None:
    """Queues texts in the test slave without signalling, then signals once."""
    for text in texts:
        assert channel.write(f"notify>{text}") == "queued"
    assert channel.write("signal>1") == "signalled"


def take(channel: zolt.Channel, count: int) -> list:
    """The next count notifications, or fewer if they stop coming."""
    return list(itertools.islice(channel.notifications(timeout=5), count))


def test_hundreds_arrive_in_order_and_none_is_lost(library, test_slave):
    expected = [f"note {number}" for number in range(600)]
    with zolt.open(0, test_slave(), library=library) as channel:
        queue_notifications(channel, expected)
        assert take(channel, len(expected)) == expected
        assert list(channel.notifications(timeout=0.2)) == []
        # Taken by the poller: none is left for the host to ask for.
        assert channel.write("Ask") == "(nothing)"


def test_a_handler_gets_them_on_the_poller_thread_and_may_write(library, test_slave):
    received = []
    threads = set()
    done = threading.Event()

    def handler(text: str) -> None:
        threads.add(threading.get_ident())
        received.append((text, channel.write("echo>seen " + text)))
        if len(received) == 3:
            done.set()

    with zolt.open(1, test_slave(), library=library) as channel:
        channel.on_notify(handler)
        queue_notifications(channel, ["a", "b", "c"])
        assert done.wait(10)
        channel.on_notify(None)
        queue_notifications(channel, ["queued again"])
        assert take(channel, 1) == ["queued again"]
    assert received == [("a", "seen a"), ("b", "seen b"), ("c", "seen c")]
    assert threads and threading.get_ident() not in threads


def test_a_failing_handler_is_logged_and_the_next_notification_still_comes(library, test_slave, caplog):
    received = []

    def handler(text: str) -> None:
        received.append(text)
        if text == "bad":
            raise RuntimeError("handler failed on purpose")

    with zolt.open(2, test_slave(), library=library) as channel:
        channel.on_notify(handler)
        queue_notifications(channel, ["bad", "good"])
        assert wait_until(lambda: received == ["bad", "good"])
    assert "handler failed on purpose" in caplog.text


def test_a_handler_may_close_its_own_channel(library, test_slave):
    statuses = []
    with zolt.open(3, test_slave(), library=library) as channel:
        channel.on_notify(lambda text: statuses.append(channel.close()))
        queue_notifications(channel, ["x", "y"])
        assert wait_until(lambda: statuses)
        assert channel.closed
    # The slave answered "Close"; the second notification was never asked for.
    assert statuses == [0]


def test_closing_from_another_thread_while_they_flow_ends_the_iterator(library, test_slave):
    channel = zolt.open(4, test_slave(), library=library)
    received = []
    queue_notifications(channel, [str(number) for number in range(1000)])
    closer = threading.Thread(target=channel.close)
    for text in channel.notifications(timeout=10):
        received.append(text)
        if len(received) == 50:
            closer.start()
    closer.join(10)
    assert not closer.is_alive() and channel.closed
    # Whatever came, came in order; the close ended the flow early.
    assert received == [str(number) for number in range(len(received))]
    assert 50 <= len(received) < 1000
    assert channel.close_status == 0


def test_listening_again_after_a_reopen_needs_nothing_more(library, test_slave):
    path = test_slave()
    for round in range(3):
        with zolt.open(5, path, library=library) as channel:
            queue_notifications(channel, [f"round {round}"])
            assert take(channel, 1) == [f"round {round}"]


def test_a_collected_channel_is_closed_and_its_callback_goes_nowhere(library, test_slave):
    path = test_slave()
    channel = zolt.open(6, path, library=library)
    queue_notifications(channel, [str(number) for number in range(300)])
    next(channel.notifications(timeout=3))  # listening, and notifications flowing
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        del channel
        gc.collect()
    assert any(issubclass(w.category, ResourceWarning) for w in caught)
    # Closed by the collection: the number is free again.
    with zolt.open(6, path, library=library) as again:
        assert again.write("echo>alive") == "alive"


def test_a_channel_whose_last_reference_dies_in_its_own_callback_does_not_hang(library, test_slave):
    path = test_slave()
    holder = [zolt.open(7, path, library=library)]
    dropped = threading.Event()

    def drop(text: str) -> None:
        holder.clear()  # the trampoline now holds the last reference
        dropped.set()

    with warnings.catch_warnings():
        warnings.simplefilter("ignore", ResourceWarning)
        holder[0].on_notify(drop)
        queue_notifications(holder[0], ["last"])
        assert dropped.wait(10)
        # Closed on a thread of its own: the number becomes free.
        def reopened() -> bool:
            try:
                zolt.open(7, path, library=library).close()
                return True
            except zolt.AlreadyOpen:
                return False

        assert wait_until(reopened)
