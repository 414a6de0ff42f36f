"""The pseudo-section of Python against the command line's: the same markers at the same
places, in the same panels, and a figure that shows what the tool's SVG shows."""

import re
import subprocess
import xml.etree.ElementTree as ET

import numpy as np
import pytest

import ertkit
from conftest import GOLDEN, program
from ertkit.plot import pseudo_section_layout, pseudo_section_positions

SVG = "{http://www.w3.org/2000/svg}"


def tool_section(svg):
    """The tool's panels, from its SVG: for each, its array, and the (first record, cx, cy) of
    each marker; and the bold panel titles and the abscissa's title."""
    root = ET.parse(svg).getroot()
    panels = []
    for group in root.iter(f"{SVG}g"):
        if group.get("class") != "panel":
            continue
        markers = []
        for circle in group.iter(f"{SVG}circle"):
            first = int(re.match(r"records? (\d+)", circle.find(f"{SVG}title").text).group(1))
            markers.append((first, float(circle.get("cx")), float(circle.get("cy"))))
        panels.append((group.get("data-array"), markers))
    texts = [(t.get("font-size"), t.get("font-weight"), t.text) for t in root.iter(f"{SVG}text")]
    titles = [text for size, weight, text in texts if size == "13" and weight == "bold"]
    axis = next(text for _, _, text in texts if text.endswith("along the line (m)"))
    return panels, titles, axis


def line_along_y(source, target):
    """The file with its line turned to run along y at x = 100 m: what was x is y."""
    survey = ertkit.open(source)
    for record in survey:
        points = [(record.to_dict()[f"{e}x"], record.to_dict()[f"{e}y"], record.to_dict()[f"{e}z"]) for e in "abmn"]
        record.set(electrodes=[(100.0 + y, x, z) for x, y, z in points])
    survey.write(target)
    return target


def assert_same_section(svg, table):
    panels, titles, axis = tool_section(svg)
    layout = pseudo_section_layout(table)
    assert [p["array"] for p in layout["panels"]] == [array for array, _ in panels]
    if len(panels) > 1:
        assert [p["title"] for p in layout["panels"]] == titles
    assert layout["distance_title"] == axis
    # One scale along the line for every panel, one along the depth within each (the panels
    # stand at their own heights): the tool's pixels are Python's metres, to its 0.1 px.
    xs, cxs = [], []
    for panel, (_, markers) in zip(layout["panels"], panels):
        points = panel["points"]
        # The tool draws the ignored markers last, over the others.
        at = {first: (cx, cy) for first, cx, cy in markers}
        assert len(at) == len(markers) and sorted(layout["records"][k][0] for k in points) == sorted(at)
        markers = [at[layout["records"][k][0]] for k in points]
        cy = np.array([m[1] for m in markers])
        depth = layout["depth"][points]
        fit = np.polyfit(depth, cy, 1)
        assert np.abs(np.polyval(fit, depth) - cy).max() < 0.1 and fit[0] > 0
        xs.append(layout["abscissa"][points])
        cxs.append([m[0] for m in markers])
    x, cx = np.concatenate(xs), np.concatenate(cxs)
    fit = np.polyfit(x, cx, 1)
    assert np.abs(np.polyval(fit, x) - cx).max() < 0.1 and fit[0] > 0
    return layout


@pytest.mark.parametrize("name", ["line1.binx", "line1-reciprocal.binx", "line1-wenner.bin"])
def test_markers_stand_where_the_tool_draws_them(sample_survey, name):
    assert_same_section(GOLDEN / f"{name}.section.svg", ertkit.open(sample_survey / name).to_numpy())


def test_a_line_along_y_is_placed_along_y(sample_survey, tmp_path):
    source = sample_survey / "line1.binx"
    turned = line_along_y(source, tmp_path / "along-y.binx")
    subprocess.run([program("ERTKIT_CLI"), "--quiet", "plot", str(turned), "-o", str(tmp_path / "along-y.svg")], check=True)
    table = ertkit.open(turned).to_numpy()
    layout = assert_same_section(tmp_path / "along-y.svg", table)
    assert layout["distance_title"] == "distance along the line (m)"
    # The distances are those of the line along x, not its constant x.
    along_x, _ = pseudo_section_positions(ertkit.open(source).to_numpy())
    along_y, depth = pseudo_section_positions(table)
    np.testing.assert_allclose(along_y, along_x)
    assert np.ptp(along_y) > 50


def test_figure_shows_panels_colour_bar_electrodes_and_hollow_ignored(sample_survey, pyplot):
    survey = ertkit.open(sample_survey / "line1.binx")
    _, titles, axis = tool_section(GOLDEN / "line1.binx.section.svg")
    axes = survey.plot_pseudo_section()
    figure = axes[0].figure
    assert [ax.get_title(loc="left") for ax in axes] == titles
    assert all(ax.get_xlabel() == axis and ax.yaxis_inverted() for ax in axes)
    (bar,) = [ax for ax in figure.axes if ax not in axes]
    figure.canvas.draw()
    assert bar.get_ylabel() == "ρa (Ω·m)"
    # Ticks in ohm metres, the scale's ends among them, as the tool's bar has.
    assert [t.get_text() for t in bar.get_yticklabels()] == ["60.6", "100", "200", "294"]
    electrodes = [line for ax in axes for line in ax.get_lines() if line.get_label() == "electrodes"]
    assert [len(line.get_xdata()) for line in electrodes] == [16, 16]
    ignored = [c for ax in axes for c in ax.collections if c.get_label() == "ignored"]
    assert len(ignored) == 1 and len(ignored[0].get_offsets()) == 2
    assert (ignored[0].get_facecolors()[:, :3] == 1.0).all() and (ignored[0].get_edgecolors()[:, :3] < 1.0).any()
    drawn = sum(len(c.get_offsets()) for ax in axes for c in ax.collections)
    assert drawn == len(survey)


def test_figure_options(sample_survey, pyplot):
    survey = ertkit.open(sample_survey / "line1.binx")
    axes = survey.plot_pseudo_section(column="m", skip_ignored=True)
    assert not any(c.get_label() == "ignored" for ax in axes for c in ax.collections)
    assert axes[0].figure.axes[-1].get_ylabel() == "M (mV/V)"
    with pytest.raises(ValueError, match="2 panels"):
        survey.plot_pseudo_section(ax=pyplot.figure().add_subplot())
    # A single panel takes the axes given.
    wenner = ertkit.open(sample_survey / "line1-wenner.bin")
    ax = pyplot.figure().add_subplot()
    assert wenner.plot_pseudo_section(ax=ax) == [ax]
