#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Batch bridge from tst_pduoracle to python3-gammu (libgammu), an independent SMS PDU codec.

Usage: gammu_crosscheck.py REQUEST.json ANSWER.json

One process for the whole batch. The request holds three lists:
  decode:      {"hex", "smsc": bool}              -> what libgammu reads in each PDU
  encode:      {"layout": "Submit"|"Deliver", ...} -> the PDU libgammu writes for each message
  encode_long: {"text", "number"}                  -> the parts libgammu splits a long text into
Exit code 3 when the module cannot be imported (the test reports it as a failure).

libgammu 1.42 quirks handled here rather than in the C++ test:
  * 7-bit text comes back padded with NULs (one per escape septet) and sometimes junk
    behind them: the text is cut at the first NUL (a real '@' decodes as '@', not NUL).
  * DecodePDU ignores TP-SRR/TP-RD/TP-VPF, so the first octet's bits are parsed here.
  * Timestamps are naive datetimes (the time zone is dropped).
  * 8-bit text is bytes: passed as hex both ways.
"""
import binascii
import datetime
import json
import sys

try:
    import gammu
except ImportError as error:
    sys.stderr.write('cannot import gammu (%s): install the Debian package python3-gammu and run '
                     'this script with /usr/bin/python3\n' % error)
    sys.exit(3)


def _smsc_chars(pdu_hex):
    return 2 + 2 * int(pdu_hex[:2], 16)


def _iso(value):
    return value.isoformat() if isinstance(value, datetime.datetime) else None


def decode(item):
    pdu_hex = item['hex']
    has_smsc = item.get('smsc', True)
    try:
        d = gammu.DecodePDU(binascii.unhexlify(pdu_hex), has_smsc)
    except Exception as error:  # libgammu refuses it: report, do not stop the batch
        return {'ok': False, 'error': str(error)}
    out = {
        'ok': True,
        'type': d['Type'],
        'smsc': d['SMSC']['Number'],
        'number': d['Number'],
        'coding': d['Coding'],
        'class': d['Class'],
        'validity': d['SMSC']['Validity'],
        'mr': d['MessageReference'],
        'reply_path': bool(d['ReplyViaSameSMSC']),
        'udh_type': d['UDH']['Type'],
        'udh_hex': d['UDH']['Text'].hex().upper(),
        'scts': _iso(d['DateTime']),
        'discharge': _iso(d['SMSCDateTime']) if d['Type'] == 'Status_Report' else None,
        'status': d['DeliveryStatus'],
    }
    text = d['Text']
    if isinstance(text, bytes):
        out['data'] = text.hex().upper()
        out['text'] = None
    else:
        out['text'] = text.split('\x00', 1)[0]
    # Concatenation as libgammu sees it, also inside headers it files under another type
    # (ports and concatenation together are its 'MMSIndicatorLong').
    if d['UDH']['PartNumber'] > 0:
        out['concat'] = {'ref8': d['UDH']['ID8bit'], 'ref16': d['UDH']['ID16bit'],
                         'part': d['UDH']['PartNumber'], 'of': d['UDH']['AllParts']}
    fo = int(pdu_hex[_smsc_chars(pdu_hex):][:2] if has_smsc else pdu_hex[:2], 16)
    out['fo'] = fo
    return out


def _message(item):
    coding = item['coding']
    sms = {
        'Number': item['number'],
        'Text': binascii.unhexlify(item['data']) if coding == '8bit' else item['text'],
        'SMSC': {'Location': 0, 'Number': item.get('smsc', ''), 'Validity': item.get('validity', 'Max')},
        'Folder': 0,
        'Class': item.get('class', -1),
        'Coding': coding,
        'MessageReference': item.get('mr', 0),
        'ReplyViaSameSMSC': 1 if item.get('reply_path') else 0,
    }
    if item['layout'] == 'Deliver':
        sms['Type'] = 'Deliver'
        sms['DateTime'] = datetime.datetime.fromisoformat(item['datetime'])
    else:
        # A submit typed as a status report is libgammu's way of setting TP-SRR.
        sms['Type'] = 'Status_Report' if item.get('srr') else 'Submit'
    if item.get('udh_hex'):
        sms['UDH'] = {'Type': 'UserUDH', 'Text': binascii.unhexlify(item['udh_hex'])}
    return sms


def encode(item):
    try:
        pdu = gammu.EncodePDU(_message(item), item['layout'])
    except Exception as error:
        return {'ok': False, 'error': str(error)}
    return {'ok': True, 'hex': binascii.hexlify(pdu).upper().decode()}


def encode_long(item):
    try:
        parts = gammu.EncodeSMS({'Class': -1, 'Unicode': False,
                                 'Entries': [{'ID': 'ConcatenatedTextLong', 'Buffer': item['text']}]})
        hexes = []
        for sms in parts:
            sms['Number'] = item['number']
            sms['SMSC'] = {'Location': 0, 'Number': '', 'Validity': 'Max'}
            sms['Folder'] = 0
            hexes.append(binascii.hexlify(gammu.EncodePDU(sms, 'Submit')).upper().decode())
    except Exception as error:
        return {'ok': False, 'error': str(error)}
    return {'ok': True, 'parts': hexes}


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding='utf-8') as source:
        request = json.load(source)
    answer = {
        'gammu': gammu.Version()[0],
        'decode': [decode(item) for item in request.get('decode', [])],
        'encode': [encode(item) for item in request.get('encode', [])],
        'encode_long': [encode_long(item) for item in request.get('encode_long', [])],
    }
    with open(argv[2], 'w', encoding='utf-8') as target:
        json.dump(answer, target, ensure_ascii=True)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
