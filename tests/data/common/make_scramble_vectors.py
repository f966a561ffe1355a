#!/usr/bin/env python3
"""Writes scramble_vectors.txt: keyed scrambling worked out with hashlib and base64 alone.

One vector per line, tab-separated: name, key, authenticator (hex), plaintext (hex),
stored text (base64), decrypted bytes (hex). The key is written as it stands ("-" for none).
Rerun only to add vectors; the committed output is what the C++ tests compare against.
"""
import base64
import hashlib

AUTH = bytes(range(0xA0, 0xB0))
AUTH2 = bytes.fromhex("00112233445566778899aabbccddeeff")
PASSWORD_KEY = b"Wibbelo572"
CREDENTIAL_KEY = b"Qv7&Lm2;Xe9^Tn4!"


def scramble(plain, key, auth):
    blocks = (len(plain) + 15) // 16
    buf = bytearray(auth + plain + bytes(16 * blocks - len(plain)))
    for i in range(blocks):
        start = 16 + 16 * i
        digest = hashlib.md5(key + bytes(buf[start - 16:start])).digest()
        for j in range(16):
            buf[start + j] ^= digest[j]
    return bytes(buf).rstrip(b"\0")


def unscramble(stored, key):
    if len(stored) <= 16:
        return stored
    blocks = (len(stored) + 15) // 16 - 1
    data = bytearray(stored[16:] + bytes(16 * blocks - (len(stored) - 16)))
    full = stored[:16] + bytes(data)
    for i in range(blocks):
        digest = hashlib.md5(key + full[16 * i:16 * i + 16]).digest()
        for j in range(16):
            data[16 * i + j] ^= digest[j]
    return bytes(data).rstrip(b"\0")


def main():
    vectors = [
        ("one_byte_no_key", b"", AUTH, b"x"),
        ("sixteen_bytes_no_key", b"", AUTH, b"0123456789abcdef"),
        ("seventeen_bytes_password_key", PASSWORD_KEY, AUTH, b"0123456789abcdefg"),
        ("password_key", PASSWORD_KEY, AUTH, b"s3cr3t P@ss"),
        ("password_key_other_auth", PASSWORD_KEY, AUTH2, b"s3cr3t P@ss"),
        ("credential_key_user", CREDENTIAL_KEY, AUTH, b"roaming-user@example.net"),
        ("credential_key_long", CREDENTIAL_KEY, AUTH2, bytes(range(1, 50))),
        ("trailing_zero_plaintext", PASSWORD_KEY, AUTH, b"abc\0\0"),
        ("high_bytes", CREDENTIAL_KEY, AUTH, "pässwörd€".encode()),
    ]
    # A 16-byte plaintext whose last byte equals the last digest byte scrambles to a block ending in
    # zero, which is stored one byte shorter.
    digest = hashlib.md5(PASSWORD_KEY + AUTH).digest()
    assert digest[15] != 0 and digest[14] != ord("-")
    vectors.append(("ciphertext_ends_in_zero", PASSWORD_KEY, AUTH, b"zero-ending-pw-" + digest[15:16]))

    with open("scramble_vectors.txt", "w") as out:
        for name, key, auth, plain in vectors:
            stored = scramble(plain, key, auth)
            out.write("\t".join([
                name,
                key.decode() if key else "-",
                auth.hex(),
                plain.hex(),
                base64.b64encode(stored).decode(),
                unscramble(stored, key).hex(),
            ]) + "\n")


if __name__ == "__main__":
    main()
