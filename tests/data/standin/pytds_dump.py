"""Reads statements through python3-tds and prints every result in one fixed text form.

Usage: pytds_dump.py [--login-timeout S] [--tds 7.1|7.2|7.3|7.4] [--cafile PEM [--login-only]]
                     PORT USER PASSWORD DATABASE STATEMENT...
--cafile turns TLS on, trusting the certificate in PEM; --login-only asks for the login
packet alone to be encrypted.
Prints "columns: A|B" and then one line per row (values joined by "|") for each result,
"error N: TEXT" for a server error and "login error: N: TEXT" when the login fails.
"""
import datetime
import decimal
import json
import sys
import uuid

import pytds


def text(value):
    if value is None:
        return "NULL"
    if isinstance(value, bool):
        return "1" if value else "0"
    if isinstance(value, (bytes, bytearray)):
        return "0x" + value.hex().upper()
    if isinstance(value, uuid.UUID):
        return str(value).upper()
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, decimal.Decimal):
        return str(value)
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time)):
        return value.isoformat()
    if isinstance(value, str):
        return json.dumps(value, ensure_ascii=False)
    return str(value)


def error_line(prefix, e):
    number = getattr(e, "msg_no", None) or getattr(e, "number", None)
    message = getattr(e, "text", None) or str(e)
    return "%s%s: %s" % (prefix, number, message)


def main():
    args = sys.argv[1:]
    login_timeout = 10
    if args[0] == "--login-timeout":
        login_timeout = float(args[1])
        args = args[2:]
    tds_version = pytds.tds_base.TDS74
    if args[0] == "--tds":
        tds_version = {"7.1": pytds.tds_base.TDS71, "7.2": pytds.tds_base.TDS72,
                       "7.3": pytds.tds_base.TDS73, "7.4": pytds.tds_base.TDS74}[args[1]]
        args = args[2:]
    tls = {}
    if args[0] == "--cafile":
        # python3-tds compares host names with DNS names only; trusting the certificate is the check.
        tls = {"cafile": args[1], "validate_host": False}
        args = args[2:]
        if args[0] == "--login-only":
            tls["enc_login_only"] = True
            args = args[1:]
    port, user, password, database = args[:4]
    # One attempt with the whole login timeout: python3-tds's retry loop gives its first attempt
    # only 8% of it, which a TLS handshake on a busy machine can outlast, and a timed-out
    # socket read is not retried.
    try:
        conn = pytds.connect(server="127.0.0.1", port=int(port), user=user, password=password,
                             database=database, autocommit=True, login_timeout=login_timeout, tds_version=tds_version, timeout=10,
                             disable_connect_retry=True, **tls)
    except pytds.Error as e:
        number = getattr(e, "msg_no", None) or getattr(e, "number", None)
        print("login error: %s: %s" % (number, str(e)))
        return
    cursor = conn.cursor()
    for statement in args[4:]:
        try:
            cursor.execute(statement)
            if cursor.description:
                print("columns: " + "|".join(d[0] for d in cursor.description))
                for row in cursor.fetchall():
                    print("|".join(text(v) for v in row))
            else:
                print("done")
        except pytds.Error as e:
            print(error_line("error ", e))
    conn.close()


main()
