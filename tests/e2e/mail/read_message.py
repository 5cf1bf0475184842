#!/usr/bin/python3
# Reads a message file with Python's own e-mail parser and prints, each
# followed by a NUL: the subject, the recipient, the text body, then the file
# name and the hex bytes of each attachment. An independent check of the
# program's message writer.
import sys
from email import policy
from email.parser import BytesParser

with open(sys.argv[1], 'rb') as f:
    message = BytesParser(policy=policy.default).parse(f)
fields = [str(message['subject']), str(message['to']),
          message.get_body(preferencelist=('plain',)).get_content()]
for part in message.iter_attachments():
    fields += [part.get_filename(), part.get_payload(decode=True).hex()]
if message.defects:
    fields.append('defects: %r' % message.defects)
sys.stdout.write(''.join(field + '\0' for field in fields))
