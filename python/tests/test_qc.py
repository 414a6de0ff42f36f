"""ertkit.qc gives what the tool's qc gives, and refuses bad rules."""

import json
import subprocess

import numpy
import pandas
import pytest

import ertkit
from conftest import program


def test_qc_agrees_with_the_tool_and_ignores_the_rejected(sample_survey, tmp_path):
    path = sample_survey / "line1-reciprocal.binx"
    new, frame, model = ertkit.qc(ertkit.open(path), stack=3, decay=None)
    subprocess.run([program("ERTKIT_CLI"), "qc", str(path), "-o", str(tmp_path / "out.binx"), "--report", str(tmp_path / "r.csv"),
                    "--model", str(tmp_path / "m.json"), "--rule", "stack=3", "--no-rule", "decay", "--quiet"], check=True)
    tool = pandas.read_csv(tmp_path / "r.csv", keep_default_na=False, na_values=[""], float_precision="round_trip")
    assert list(tool.columns) == list(frame.columns)
    assert (tool["reasons"].fillna("") == frame["reasons"]).all()
    for column in ["err", "reciprocal_error", "r_ohm", "rhoa_ohm_m", "ip_err_mV_V"]:
        numpy.testing.assert_allclose(tool[column], frame[column], rtol=1e-15, equal_nan=True)
    assert json.loads((tmp_path / "m.json").read_text()) == model
    assert model["rules"]["decay"] is False and model["rules"]["stack"] == 3
    rejected = frame["reasons"] != ""
    assert [r.ignore for r in new] == list(rejected)
    assert [r.ignore for r in ertkit.open(tmp_path / "out.binx")] == list(rejected)
    # Values are kept: only the ignore flags change.
    assert [r.vp_mV for r in new] == [r.vp_mV for r in ertkit.open(path)]


def test_qc_of_a_legacy_file_gives_binx(sample_survey):
    # Its errors from the stack, floored, are the shared layer's (ReciprocalSurveyTest).
    new, frame, model = ertkit.qc(ertkit.open(sample_survey / "line1-wenner.bin"))
    assert isinstance(new, ertkit.BinxFile) and len(new) == len(frame) and model["source"] == "stack"


@pytest.mark.parametrize("rules, error", [({"stack": "abc"}, ValueError), ({"stack": -1}, ValueError), ({"frobnicate": 1}, ValueError),
                                          ({"tolerance": None}, ValueError), ({"stack": [1]}, TypeError)])
def test_bad_rules_are_refused(sample_survey, rules, error):
    with pytest.raises(error):
        ertkit.qc(ertkit.open(sample_survey / "line1-reciprocal.binx"), **rules)


def test_recordings_give_a_legacy_file_the_deviation_its_records_do_not_store(sample_survey):
    results = ertkit.open(sample_survey / "line1-wenner.bin")
    _, alone, _ = ertkit.qc(results)
    _, joined, _ = ertkit.qc(results, recordings=sample_survey)
    assert alone["stack_percent"].isna().all()
    assert joined["stack_percent"].notna().all() and (joined["stack_percent"] > 0).all()
    # The half cycles' spread, not the floor, now sets the error where it is larger.
    assert (joined["err"] >= alone["err"]).all()
