"""The library's repeated log lines reach Python's logging summarised, as the tool shows them."""

import logging

import pytest

import ertkit


def test_junk_gives_a_few_lines_of_each_kind_and_a_count(tmp_path, caplog):
    junk = tmp_path / "zeros.vmn"
    junk.write_bytes(bytes(528 * 500))
    with caplog.at_level(logging.DEBUG, logger="ertkit"), pytest.raises(ertkit.FormatError, match="first header"):
        ertkit.open(junk)
    messages = [record.getMessage() for record in caplog.records if record.name == "ertkit"]
    assert len(messages) < 12
    assert messages.count("found page before first header") == 3
    assert "\u2026 497 more like this: found page before first header" in messages
