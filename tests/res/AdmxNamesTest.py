#!/usr/bin/env python3
"""The administrative template against the launcher: the registry key and value names the ADMX writes are exactly
those components/PolicyNames.h names for the launcher to read, and every text and presentation it refers to is in the
ADML. Usage: AdmxNamesTest.py POLICY_NAMES_H ADMX ADML"""
import re
import sys
import xml.etree.ElementTree as ET

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}


def code_names(header):
    """(key, value name) pairs from the header's constants; a key read whole (TargetVersion) pairs with "*"."""
    constants = dict(re.findall(r'constexpr const char\* (k\w+) = "((?:[^"\\]|\\.)*)";', open(header).read()))
    constants = {name: text.replace("\\\\", "\\") for name, text in constants.items()}
    key = constants.pop("kKey")
    names = set()
    for name, text in constants.items():
        names.add((text, "*") if name.endswith("Key") else (key, text))
    return names


def template_names(root):
    names = set()
    for policy in root.iterfind(".//p:policy", NS):
        key = policy.get("key")
        if policy.get("valueName"):
            names.add((key, policy.get("valueName")))
        for element in policy.iterfind("p:elements/*", NS):
            tag = element.tag.split("}")[1]
            names.add((element.get("key", key), "*" if tag == "list" else element.get("valueName")))
    return names


def main(header, admx, adml):
    failures = []
    policy = ET.parse(admx).getroot()
    resources = ET.parse(adml).getroot()

    code, template = code_names(header), template_names(policy)
    if code != template:
        failures.append(f"only the code reads {sorted(code - template)}; only the template writes {sorted(template - code)}")

    strings = {s.get("id") for s in resources.iterfind(".//p:stringTable/p:string", NS)}
    presentations = {p.get("id"): p for p in resources.iterfind(".//p:presentationTable/p:presentation", NS)}
    for element in policy.iter():
        for attribute, value in element.attrib.items():
            for kind, name in re.findall(r"\$\((string|presentation)\.(\w+)\)", value):
                if name not in (strings if kind == "string" else presentations):
                    failures.append(f"{attribute}={value}: no such {kind} in the ADML")

    for item in policy.iterfind(".//p:policy", NS):
        ids = {element.get("id") for element in item.iterfind("p:elements/*", NS)}
        reference = re.fullmatch(r"\$\(presentation\.(\w+)\)", item.get("presentation", ""))
        shown = presentations.get(reference.group(1)) if reference else None
        refs = {control.get("refId") for control in shown} if shown is not None else set()
        if refs != ids:
            failures.append(f"policy {item.get('name')}: elements {sorted(ids)}, presentation shows {sorted(refs)}")

    # The launcher takes only DWORD 1 as switched off.
    enabled = policy.find(".//p:policy[@valueName='UpdatesDisabled']/p:enabledValue/p:decimal", NS)
    if enabled is None or enabled.get("value") != "1":
        failures.append("UpdatesDisabled is not written as DWORD 1 when enabled")

    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{len(template)} registry names checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
